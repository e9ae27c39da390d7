#include "StateStore.h"

#include <fcntl.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "StateJson.h"

namespace camsim {

namespace {

// Creates dir and its missing parents.
bool MakeDirs(const std::string& dir) {
    if (dir.empty())
        return false;
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        path = dir.substr(0, pos);
        if (path.empty())
            continue;
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(const std::string& path, std::string* out, int* err) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *err = errno;
        return false;
    }
    out->clear();
    char buf[16384];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *err = errno;
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        out->append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes via a temporary file and rename, so readers see the old or the new content whole.
bool ReplaceFile(const std::string& path, const std::string& content, std::string* error) {
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = tmp + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteAll(fd, content)) {
        *error = tmp + ": " + std::strerror(errno);
        close(fd);
        unlink(tmp.c_str());
        return false;
    }
    close(fd);
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// One line per entry: backslash and newline escaped, so any value fits.
std::string EscapeLine(const std::string& entry) {
    std::string out;
    out.reserve(entry.size() + 1);
    for (char c : entry) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    out += '\n';
    return out;
}

std::string UnescapeLine(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
            out += line[i] == 'n' ? '\n' : line[i];
        } else {
            out += line[i];
        }
    }
    return out;
}

// One O_APPEND write for all the entries of a transaction.
bool AppendFile(const std::string& path, const std::string& content, std::string* error) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteAll(fd, content)) {
        *error = path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    close(fd);
    return true;
}

class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (m_fd >= 0) {
            while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            close(m_fd);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return m_fd >= 0; }

  private:
    int m_fd;
};

}  // namespace

std::string StateDirFromEnvironment() {
    const char* env = std::getenv("CAMSIM_STATE_DIR");
    if (env && *env)
        return env;
    return "/tmp/camsim-" + std::to_string(getuid());
}

StateStore::StateStore(std::string dir) : m_dir(std::move(dir)) {}

bool StateStore::ReadPlug(PlugRecord* out) const {
    char buf[128];
    int fd = open(PlugPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0)
        return false;
    buf[n] = '\0';
    int plugged = 0;
    long long session = 0;
    out->ptpVendor = out->ptpProduct = 0;
    if (std::sscanf(buf, "%d %d %d %lld %d %d", &plugged, &out->usbVendor, &out->usbProduct, &session,
                    &out->ptpVendor, &out->ptpProduct) < 4)
        return false;
    out->plugged = plugged != 0;
    out->session = session;
    return true;
}

void StateStore::CountScan() const {
    int fd = open(ScansPath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;  // a state directory that is not there yet counts nothing
    ssize_t written = write(fd, ".", 1);
    (void)written;
    close(fd);
}

int64_t StateStore::Scans() const {
    struct stat st;
    return stat(ScansPath().c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

namespace {

// Every call of the drivers loads the state, and parsing it is most of what a call costs.
// The last text parsed in this process is kept with its result; the text itself is the
// key, so a change of the file in any way is never missed.
bool ParseStateCached(const std::string& text, CameraState* out, std::string* problem) {
    static std::mutex mutex;
    static std::string cachedText;
    static CameraState cachedState;
    std::lock_guard<std::mutex> lock(mutex);
    if (text != cachedText) {
        nlohmann::json j;
        CameraState s;
        if (!ParseJsonText(text, &j, problem) || !StateFromJson(j, &s, problem))
            return false;
        cachedText = text;
        cachedState = std::move(s);
    }
    *out = cachedState;
    return true;
}

}  // namespace

int StateStore::Load(CameraState* out, std::string* error) const {
    std::string text;
    int err = 0;
    if (!ReadFile(StatePath(), &text, &err)) {
        if (err == ENOENT) {
            *error = "no camera was plugged in " + m_dir;
            return GP_ERROR_MODEL_NOT_FOUND;
        }
        *error = StatePath() + ": " + std::strerror(err);
        return GP_ERROR_IO;
    }
    std::string problem;
    CameraState s;
    if (!ParseStateCached(text, &s, &problem)) {
        *error = StatePath() + ": " + problem;
        return GP_ERROR_CORRUPTED_DATA;
    }
    // Whoever reads the camera sees the written values that have taken effect by now.
    s.ApplyDueValues(NowMs());
    *out = std::move(s);
    return GP_OK;
}

int StateStore::Update(const Mutator& fn, std::string* error, Start start) const {
    if (start == Start::Fresh && !MakeDirs(m_dir)) {
        *error = m_dir + ": cannot create the state directory: " + std::strerror(errno);
        return GP_ERROR_IO;
    }
    struct stat st;
    if (start == Start::Require && stat(StatePath().c_str(), &st) != 0) {
        CameraState none;
        return Load(&none, error);  // reports the missing camera without creating anything
    }
    FileLock lock(m_dir + "/lock");
    if (!lock.Held()) {
        *error = m_dir + "/lock: " + std::strerror(errno);
        return GP_ERROR_IO;
    }
    CameraState state;
    if (start == Start::Require) {
        int rc = Load(&state, error);
        if (rc != GP_OK)
            return rc;
    }
    state.received.clear();
    bool save = true;
    int rc = fn(state, save);
    if (!state.received.empty()) {
        std::string lines;
        for (const std::string& entry : state.received)
            lines += EscapeLine(entry);
        if (!AppendFile(ReceivedPath(), lines, error))
            return GP_ERROR_IO;
    }
    if (save) {
        int saved = Save(state, error);
        if (saved != GP_OK)
            return saved;
    }
    return rc;
}

int StateStore::Save(const CameraState& state, std::string* error) const {
    if (!ReplaceFile(StatePath(), DumpJson(StateToJson(state), 1) + "\n", error))
        return GP_ERROR_IO;
    char line[128];
    std::snprintf(line, sizeof line, "%d %d %d %" PRId64 " %d %d\n", state.plugged ? 1 : 0, state.usbVendor,
                  state.usbProduct, state.session, state.ptp.usbVendor, state.ptp.usbProduct);
    if (!ReplaceFile(PlugPath(), line, error))
        return GP_ERROR_IO;
    return GP_OK;
}

int StateStore::ReadReceived(std::vector<std::string>* out, std::string* error) const {
    out->clear();
    std::string text;
    int err = 0;
    if (!ReadFile(ReceivedPath(), &text, &err)) {
        if (err == ENOENT)
            return GP_OK;
        *error = ReceivedPath() + ": " + std::strerror(err);
        return GP_ERROR_IO;
    }
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        out->push_back(UnescapeLine(text.substr(start, end - start)));
        start = end + 1;
    }
    return GP_OK;
}

int StateStore::TruncateReceived(std::string* error) const {
    if (truncate(ReceivedPath().c_str(), 0) != 0 && errno != ENOENT) {
        *error = ReceivedPath() + ": " + std::strerror(errno);
        return GP_ERROR_IO;
    }
    return GP_OK;
}

}  // namespace camsim
