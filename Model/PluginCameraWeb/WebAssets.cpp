#include "WebAssets.h"

#include "WebAssetsData.h"  // generated from page/ by EmbedAssets.cmake

const WebAsset* FindWebAsset(const std::string& path) {
    static const WebAsset kAssets[] = {
        {"/", "text/html; charset=utf-8", kIndexHtml, sizeof(kIndexHtml) - 1},
        {"/index.html", "text/html; charset=utf-8", kIndexHtml, sizeof(kIndexHtml) - 1},
        {"/app.js", "text/javascript; charset=utf-8", kAppJs, sizeof(kAppJs) - 1},
        {"/app.css", "text/css; charset=utf-8", kAppCss, sizeof(kAppCss) - 1},
    };
    for (const WebAsset& a : kAssets) {
        if (path == a.path)
            return &a;
    }
    return nullptr;
}
