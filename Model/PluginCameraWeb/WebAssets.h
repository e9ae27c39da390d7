// The page, compiled in: the only files the server ever serves.
#pragma once

#include <cstddef>
#include <string>

struct WebAsset {
    const char* path;  // "/", "/app.js", ...
    const char* contentType;
    const char* data;
    size_t size;
};

// The asset served at `path`, or null.
const WebAsset* FindWebAsset(const std::string& path);
