#include "ProfileLoader.h"

#include <dirent.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "Models.h"
#include "StateJson.h"

namespace camsim {

using nlohmann::json;

namespace {

const int kMaxInheritance = 8;

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string StemOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind(".json");
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int ReadJson(const std::string& path, json* out, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = path + ": cannot be read";
        return GP_ERROR_FILE_NOT_FOUND;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string problem;
    if (!ParseJsonText(text.str(), out, &problem)) {
        *error = path + ": " + problem;
        return GP_ERROR_CORRUPTED_DATA;
    }
    if (!out->is_object()) {
        *error = path + ": the top level must be an object";
        return GP_ERROR_CORRUPTED_DATA;
    }
    return GP_OK;
}

std::string NameOf(const json& w) {
    auto name = w.is_object() ? w.find("name") : w.end();
    return name != w.end() && name->is_string() ? name->get<std::string>() : std::string();
}

// Merges child over parent: top-level keys replace, widgets merge by name.
int MergeInto(json* merged, const json& child, const std::string& path, std::string* error) {
    for (auto it = child.begin(); it != child.end(); ++it) {
        if (it.key() == "widgets" || it.key() == "inherits" || it.key() == "remove")
            continue;
        (*merged)[it.key()] = it.value();
    }
    if (!merged->contains("widgets"))
        (*merged)["widgets"] = json::array();
    json& widgets = (*merged)["widgets"];
    auto remove = child.find("remove");
    if (remove != child.end()) {
        if (!remove->is_array()) {
            *error = path + ": \"remove\" must be an array of widget names";
            return GP_ERROR_CORRUPTED_DATA;
        }
        for (const json& name : *remove) {
            widgets.erase(std::remove_if(widgets.begin(), widgets.end(),
                                         [&](const json& w) {
                                             return name.is_string() && NameOf(w) == name.get<std::string>();
                                         }),
                          widgets.end());
        }
    }
    auto own = child.find("widgets");
    if (own == child.end())
        return GP_OK;
    if (!own->is_array()) {
        *error = path + ": \"widgets\" must be an array";
        return GP_ERROR_CORRUPTED_DATA;
    }
    std::set<std::string> seen;
    for (const json& w : *own) {
        auto name = w.is_object() ? w.find("name") : w.end();
        if (!w.is_object() || name == w.end() || !name->is_string()) {
            *error = path + ": every widget needs a \"name\" string";
            return GP_ERROR_CORRUPTED_DATA;
        }
        if (!seen.insert(name->get<std::string>()).second) {
            *error = path + ": widget \"" + name->get<std::string>() + "\" is listed twice";
            return GP_ERROR_CORRUPTED_DATA;
        }
        auto base = std::find_if(widgets.begin(), widgets.end(),
                                 [&](const json& b) { return NameOf(b) == name->get<std::string>(); });
        if (base == widgets.end()) {
            widgets.push_back(w);
        } else {
            for (auto it = w.begin(); it != w.end(); ++it)
                (*base)[it.key()] = it.value();
        }
    }
    return GP_OK;
}

int LoadMerged(const std::string& path, int depth, json* out, std::string* error) {
    if (depth > kMaxInheritance) {
        *error = path + ": \"inherits\" nests deeper than " + std::to_string(kMaxInheritance) + " (a cycle?)";
        return GP_ERROR_CORRUPTED_DATA;
    }
    json own;
    int rc = ReadJson(path, &own, error);
    if (rc != GP_OK)
        return rc;
    json merged = json::object();
    auto inherits = own.find("inherits");
    if (inherits != own.end()) {
        if (!inherits->is_string()) {
            *error = path + ": \"inherits\" must be a profile name";
            return GP_ERROR_CORRUPTED_DATA;
        }
        std::string parent = DirOf(path) + "/" + StemOf(inherits->get<std::string>()) + ".json";
        if (!IsFile(parent)) {
            *error = path + ": inherited profile " + parent + " does not exist";
            return GP_ERROR_CORRUPTED_DATA;
        }
        rc = LoadMerged(parent, depth + 1, &merged, error);
        if (rc != GP_OK)
            return rc;
    }
    rc = MergeInto(&merged, own, path, error);
    if (rc != GP_OK)
        return rc;
    *out = std::move(merged);
    return GP_OK;
}

}  // namespace

int ResolveProfile(const std::string& profileOrModel, const std::string& profileDir, std::string* path,
                   std::string* error) {
    if (const ModelInfo* m = FindModel(profileOrModel)) {
        *path = profileDir + "/" + m->profile + ".json";
    } else if (profileOrModel.find('/') != std::string::npos ||
               (profileOrModel.size() > 5 &&
                profileOrModel.compare(profileOrModel.size() - 5, 5, ".json") == 0)) {
        *path = profileOrModel;
    } else {
        *path = profileDir + "/" + profileOrModel + ".json";
    }
    if (!IsFile(*path)) {
        *error = "no profile \"" + profileOrModel + "\" (" + *path + " does not exist)";
        return GP_ERROR_FILE_NOT_FOUND;
    }
    return GP_OK;
}

std::string ProfileStem(const std::string& path) {
    return StemOf(path);
}

std::string WidgetName(const json& widget) {
    return NameOf(widget);
}

int LoadProfileJson(const std::string& path, json* out, std::string* error) {
    return LoadMerged(path, 0, out, error);
}

int LoadProfile(const std::string& path, CameraState* out, std::string* error) {
    json merged;
    int rc = LoadMerged(path, 0, &merged, error);
    if (rc != GP_OK)
        return rc;
    return ProfileFromJson(merged, path, out, error);
}

int ProfileFromJson(const json& merged, const std::string& path, CameraState* out, std::string* error) {
    CameraState s;
    std::string problem;
    auto model = merged.find("model");
    if (model == merged.end() || !model->is_string()) {
        *error = path + ": missing \"model\" (the model string the camera reports)";
        return GP_ERROR_CORRUPTED_DATA;
    }
    s.model = model->get<std::string>();
    const ModelInfo* info = FindModel(s.model);
    if (!info) {
        *error = path + ": model \"" + s.model + "\" is not one of the simulated models";
        return GP_ERROR_CORRUPTED_DATA;
    }
    s.usbVendor = info->usbVendor;
    s.usbProduct = info->usbProduct;
    // The latency model: a preset, then single figures over it.
    auto preset = merged.find("latency");
    if (preset != merged.end() &&
        (!preset->is_string() || !LatencyPreset(preset->get<std::string>(), &s.latency))) {
        *error = path + ": \"latency\" must be \"zero\" or \"realistic\"";
        return GP_ERROR_CORRUPTED_DATA;
    }
    const struct {
        const char* key;
        int Latency::*field;
    } figures[] = {{"transaction_ms", &Latency::transactionMs},
                   {"open_ms", &Latency::openMs},
                   {"settle_ms", &Latency::settleMs}};
    for (const auto& figure : figures) {
        auto found = merged.find(figure.key);
        if (found == merged.end())
            continue;
        if (!found->is_number_integer() || found->get<int64_t>() < 0 ||
            found->get<int64_t>() > kMaxLatencyMs) {
            *error = path + ": \"" + figure.key + "\" must be an integer from 0 to " +
                     std::to_string(kMaxLatencyMs);
            return GP_ERROR_CORRUPTED_DATA;
        }
        s.latency.*figure.field = found->get<int>();
    }
    std::set<std::string> names;
    const json none = json::array();
    auto found = merged.find("widgets");
    const json& widgets = found == merged.end() ? none : *found;
    if (!widgets.is_array()) {
        *error = path + ": \"widgets\" must be an array";
        return GP_ERROR_CORRUPTED_DATA;
    }
    for (const json& wj : widgets) {
        Widget w;
        if (!WidgetFromJson(wj, &w, &problem)) {
            *error = path + ": " + problem;
            return GP_ERROR_CORRUPTED_DATA;
        }
        if (!names.insert(w.name).second) {
            *error = path + ": widget \"" + w.name + "\" is listed twice";
            return GP_ERROR_CORRUPTED_DATA;
        }
        s.widgets.push_back(std::move(w));
    }
    for (const Widget& w : s.widgets) {
        for (const auto& effect : w.effects) {
            for (const auto& target : effect.second) {
                if (!names.count(target.first)) {
                    *error = path + ": widget \"" + w.name + "\": effect on unknown widget \"" +
                             target.first + "\"";
                    return GP_ERROR_CORRUPTED_DATA;
                }
            }
        }
        for (const auto& precondition : w.preconditions) {
            for (const auto& other : precondition.second) {
                if (!names.count(other.first)) {
                    *error =
                        path + ": widget \"" + w.name + "\": requires unknown widget \"" + other.first + "\"";
                    return GP_ERROR_CORRUPTED_DATA;
                }
            }
        }
    }
    s.profile = StemOf(path);
    s.profilePath = path;
    *out = std::move(s);
    return GP_OK;
}

std::vector<std::string> ListProfiles(const std::string& dir) {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return out;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0 &&
            name.rfind("base-", 0) != 0) {
            out.push_back(name.substr(0, name.size() - 5));
        }
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace camsim
