// A temporary folder for one test, removed with everything in it at the end.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/engine_bytes.h"

class CTempFolder {
public:
    CTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velkora-test-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        if (::mkdtemp(name.data()) != nullptr) path_ = name.data();
    }
    ~CTempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    // The folder, without a trailing '/'.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes a file (creating its folders) and returns its path.
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string file = *this / name;
        WriteFileBytes(file, bytes);
        return file;
    }
    std::string Write(const std::string& name, const std::string& text) const {
        return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

    static std::vector<uint8_t> Read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
};

// Runs the test body with the working folder set to `folder`, restoring it afterwards.
class CWorkingFolder {
public:
    explicit CWorkingFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CWorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
    }

private:
    std::filesystem::path saved_;
};
