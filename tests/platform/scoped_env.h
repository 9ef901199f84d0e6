// Sets (or, with a null value, removes) an environment variable for the life of the object.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    CScopedEnv(const char* name, const std::string& value) : CScopedEnv(name, value.c_str()) {}
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;
    ~CScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

private:
    std::string name_;
    std::optional<std::string> old_;
};
