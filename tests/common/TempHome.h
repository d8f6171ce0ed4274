#pragma once
// A fresh temporary home for one test: XDG_DATA_HOME and XDG_CONFIG_HOME point
// into it for as long as the object lives, so nothing reaches the user's data or ports.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#ifdef _WIN32
// The Windows C library names these differently; an empty value removes the name.
inline int setenv(const char* name, const char* value, int) {
    return _putenv_s(name, value);
}
inline int unsetenv(const char* name) {
    return _putenv_s(name, "");
}
#endif

class TempHome {
public:
    TempHome() {
        root_ = FreshDirectory();
        data_ = root_ / "data";
        config_ = root_ / "config";
        std::filesystem::create_directories(data_);
        std::filesystem::create_directories(config_);
        saveEnv("XDG_DATA_HOME", oldData_, hadData_);
        saveEnv("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
        setenv("XDG_DATA_HOME", data_.string().c_str(), 1);
        setenv("XDG_CONFIG_HOME", config_.string().c_str(), 1);
    }
    ~TempHome() {
        restoreEnv("XDG_DATA_HOME", oldData_, hadData_);
        restoreEnv("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& data() const { return data_; }
    const std::filesystem::path& config() const { return config_; }
    // The groups directory and the ports folder as the program sees them.
    std::filesystem::path groupsDir() const { return data_ / "Quillon" / "Haltguard IDs"; }
    std::filesystem::path idListDir() const { return groupsDir() / "IDs"; }
    std::filesystem::path portsDir() const { return config_ / "Quillon" / "ports"; }

private:
    // A new directory of our own under the temporary folder (create_directory is
    // false for one that already exists, so a name is never shared).
    static std::filesystem::path FreshDirectory() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto dir = std::filesystem::temp_directory_path() /
                             ("hg-test-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(dir)) return dir;
        }
        throw std::runtime_error("no temporary directory could be made");
    }
    static void saveEnv(const char* name, std::string& value, bool& had) {
        const char* v = std::getenv(name);
        had = v != nullptr;
        if (had) value = v;
    }
    static void restoreEnv(const char* name, const std::string& value, bool had) {
        if (had)
            setenv(name, value.c_str(), 1);
        else
            unsetenv(name);
    }
    std::filesystem::path root_, data_, config_;
    std::string oldData_, oldConfig_;
    bool hadData_ = false, hadConfig_ = false;
};
