#pragma once
// A fresh temporary home for one test: XDG_DATA_HOME and XDG_CONFIG_HOME point
// into it for as long as the object lives, so nothing reaches the user's data or ports.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

class TempHome {
public:
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "hg-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        data_ = root_ / "data";
        config_ = root_ / "config";
        std::filesystem::create_directories(data_);
        std::filesystem::create_directories(config_);
        saveEnv("XDG_DATA_HOME", oldData_, hadData_);
        saveEnv("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
        setenv("XDG_DATA_HOME", data_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
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
