// Small helpers the import tests share: temporary folders and files, GBK literals.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "codecs/gbk_text.h"

namespace kavo::test {

// GBK bytes of a UTF-8 literal.
inline std::string G(std::string_view utf8) { return Utf8ToGbk(utf8); }

// UTF-8 text of a GBK field.
template <std::size_t N>
std::string U(const char (&field)[N]) {
    return FieldUtf8(field);
}

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavo-import-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, std::string_view bytes) const {
        std::string p = path_ + "/" + name;
        std::ofstream out(p, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

private:
    std::string path_;
};

// The fixtures folder: $KAVO_TEST_DATA, else the one this build was configured with.
inline std::string TestData(const std::string& rel) {
    const char* root = std::getenv("KAVO_TEST_DATA");
    return std::string(root && *root ? root : KAVO_TEST_DATA_DIR) + "/" + rel;
}

#ifdef KAVO_BIN_DIR_DEFAULT
// The folder of the built programs and libpelbook.so: $KAVO_BIN_DIR, else this build's.
inline std::string BinDir() {
    const char* dir = std::getenv("KAVO_BIN_DIR");
    return dir && *dir ? dir : KAVO_BIN_DIR_DEFAULT;
}
#endif

}  // namespace kavo::test
