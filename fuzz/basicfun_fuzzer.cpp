// The utility library's functions that take outside text or fill a caller's fixed buffer, fed
// any bytes. Every buffer is allocated at exactly the size the call is told, so a write or read
// past it is caught.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "Function.h"
#include "zr_misc.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "basicfun_fuzzer: %s\n", what);
    std::abort();
}

// A NUL-terminated copy in a buffer of exactly its size.
std::vector<char> Text(const std::string& s) {
    return std::vector<char>(s.c_str(), s.c_str() + s.size() + 1);
}

int g_lineFd = -1;

void FuzzSplit(FuzzedDataProvider& in) {
    int maxPieces = in.ConsumeIntegralInRange<int>(-1, 12);
    std::string separators = in.ConsumeRandomLengthString(4);
    std::vector<char> text = Text(in.ConsumeRandomLengthString(256));
    std::vector<char*> pieces(maxPieces > 0 ? static_cast<size_t>(maxPieces) : 1);
    int n = split(text.data(), separators.c_str(), pieces.data(), maxPieces);
    if (n < 0 || n > (maxPieces > 0 ? maxPieces : 0))
        Fail("split: more pieces than allowed");
    for (int i = 0; i < n; ++i) {
        if (pieces[i] < text.data() || pieces[i] >= text.data() + text.size() || *pieces[i] == '\0')
            Fail("split: a piece outside the text or empty");
    }
}

void FuzzHex(FuzzedDataProvider& in) {
    std::vector<char> text = Text(in.ConsumeRandomLengthString(8));
    unsigned char byte = 0;
    zr_str2hex(text.data(), &byte);
    int outSize = in.ConsumeIntegralInRange<int>(0, 40);
    std::vector<char> hex = Text(in.ConsumeRandomLengthString(100));
    std::vector<unsigned char> out(static_cast<size_t>(outSize));
    int n = CharToHex(hex.data(), out.empty() ? &byte : out.data(), outSize);
    if (n < 0 || n > outSize)
        Fail("CharToHex: more bytes than the output holds");
}

void FuzzBase64(FuzzedDataProvider& in) {
    std::string bytes = in.ConsumeRandomLengthString(120);
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
    const int srcLen = static_cast<int>(bytes.size());
    // Allocated output, then a caller's buffer of a chosen size.
    char* encoded = zr_s2base64(src, srcLen, nullptr, 0);
    if (!encoded)
        Fail("zr_s2base64: no output");
    const size_t needed = (bytes.size() + 2) / 3 * 4 + 1;
    if (std::strlen(encoded) + 1 != needed)
        Fail("zr_s2base64: wrong length");
    int dstSize = in.ConsumeIntegralInRange<int>(1, static_cast<int>(needed) + 2);
    std::vector<char> dst(static_cast<size_t>(dstSize));
    char* fixed = zr_s2base64(src, srcLen, dst.data(), dstSize);
    if ((fixed != nullptr) != (static_cast<size_t>(dstSize) >= needed))
        Fail("zr_s2base64: a fitting buffer refused or a short one used");
    // Decoding what was encoded gives the bytes back.
    int len = -1;
    unsigned char* decoded = zr_base642s(encoded, nullptr, 0, &len);
    if (!decoded || len != srcLen || std::memcmp(decoded, bytes.data(), bytes.size()) != 0)
        Fail("zr_base642s: the round trip lost bytes");
    std::free(decoded);
    std::free(encoded);
    // Any text, into an allocated and into a fixed buffer.
    std::vector<char> text = Text(in.ConsumeRandomLengthString(160));
    decoded = zr_base642s(text.data(), nullptr, 0, &len);
    std::free(decoded);
    int outSize = in.ConsumeIntegralInRange<int>(0, 64);
    std::vector<unsigned char> out(static_cast<size_t>(outSize > 0 ? outSize : 1));
    unsigned char* got = zr_base642s(text.data(), out.data(), outSize, &len);
    if (got && (len < 0 || len >= outSize))
        Fail("zr_base642s: more bytes than the buffer holds");
}

void FuzzNames(FuzzedDataProvider& in) {
    std::vector<char> name = Text(in.ConsumeRandomLengthString(300));
    const char* ext = GetExtName(name.data());
    if (ext && (ext < name.data() || ext >= name.data() + name.size()))
        Fail("GetExtName: a pointer outside the name");
    int extSize = in.ConsumeIntegralInRange<int>(0, 16);
    std::vector<char> out(static_cast<size_t>(extSize > 0 ? extSize : 1));
    if (GetFileExtName(name.data(), out.data(), extSize) == 0 && std::strlen(out.data()) >= out.size())
        Fail("GetFileExtName: not terminated inside the buffer");
    char* trimmed = trim(name.data());
    if (trimmed < name.data() || trimmed + std::strlen(trimmed) >= name.data() + name.size())
        Fail("trim: outside the text");
    BlankChar(in.ConsumeIntegral<char>());
    int nameLen = in.ConsumeIntegralInRange<int>(-1, 40);
    std::string bytes = in.ConsumeBytesAsString(nameLen > 0 ? static_cast<size_t>(nameLen) : 0);
    std::vector<char> exact(bytes.begin(), bytes.end());  // not terminated
    if (static_cast<int>(exact.size()) == nameLen || nameLen <= 0)
        IsFileExistInDir("/", exact.empty() ? "" : exact.data(), nameLen);
}

void FuzzReadLine(FuzzedDataProvider& in) {
    int maxLen = in.ConsumeIntegralInRange<int>(0, 64);
    std::string content = in.ConsumeRandomLengthString(200);
    if (ftruncate(g_lineFd, 0) != 0 || pwrite(g_lineFd, content.data(), content.size(), 0) < 0 ||
        lseek(g_lineFd, 0, SEEK_SET) != 0)
        Fail("memfd");
    std::vector<char> buf(static_cast<size_t>(maxLen > 0 ? maxLen : 1));
    for (int guard = 0; guard <= 200; ++guard) {
        int n = ReadLine(g_lineFd, buf.data(), maxLen);
        if (n >= maxLen)
            Fail("ReadLine: a length past the buffer");
        if (n < 0 || static_cast<size_t>(lseek(g_lineFd, 0, SEEK_CUR)) >= content.size())
            break;
    }
}

void FuzzTimeAndMedia(FuzzedDataProvider& in) {
    int size = in.ConsumeIntegralInRange<int>(0, 12);
    std::vector<char> elapsed(static_cast<size_t>(size > 0 ? size : 1));
    SystemGetMSCountExt(elapsed.data(), size);
    RECTIME packed;
    uint32_t bits = in.ConsumeIntegral<uint32_t>();
    std::memcpy(&packed, &bits, sizeof packed);
    RECTIME2Second(&packed);
    Second2RECTIME(in.ConsumeIntegral<time_t>(), &packed);
    std::string adts = in.ConsumeRemainingBytesAsString();
    std::vector<unsigned char> exact(adts.begin(), adts.end());
    dumpADTS(exact.empty() ? nullptr : exact.data(), static_cast<int>(exact.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ZRLOG_LEVEL", "0", 1);  // the library logs each ADTS header; keep the output quiet
    g_lineFd = memfd_create("basicfun_fuzzer", MFD_CLOEXEC);
    if (g_lineFd < 0)
        Fail("memfd_create");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            FuzzSplit(in);
            break;
        case 1:
            FuzzHex(in);
            break;
        case 2:
            FuzzBase64(in);
            break;
        case 3:
            FuzzNames(in);
            break;
        case 4:
            FuzzReadLine(in);
            break;
        default:
            FuzzTimeAndMedia(in);
            break;
    }
    return 0;
}
