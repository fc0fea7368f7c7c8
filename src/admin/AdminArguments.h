#pragma once

#include <optional>
#include <string>
#include <vector>

#include "blocking/SystemProfile.h"

namespace kt::admin {

enum class Action { ActivateScript, DeactivateScript, RestoreScript, Rules, Status, Restore, Help };

struct Arguments {
    Action action = Action::Help;
    // The system this was built for unless --profile says otherwise.
    std::string profile{nativeProfileName()};
    std::string replyFile;
    std::optional<std::string> home;
    bool lookUp = true;
    RestoreVariant variant = RestoreVariant::Automatic;
    bool backupPresent = false;
};

// Parses the words after the program name. On a bad argument returns
// nothing and sets `error` to a one-line description.
std::optional<Arguments> parseArguments(const std::vector<std::string>& words, std::string& error);

extern const char* const usageText;

}  // namespace kt::admin
