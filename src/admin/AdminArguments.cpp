#include "admin/AdminArguments.h"

#include <map>
#include <set>

namespace kt::admin {
namespace {

// Options that take a value, and flags.
const std::set<std::string> valueOptions = {"--profile", "--reply", "--home", "--variant",
                                            "--backup"};
const std::set<std::string> flagOptions = {"--no-lookup"};

struct Shape {
    Action action;
    std::set<std::string> required;
    std::set<std::string> allowed;
};

std::optional<Shape> shapeOf(const std::vector<std::string>& command) {
    auto is = [&](std::initializer_list<const char*> words) {
        return command == std::vector<std::string>(words.begin(), words.end());
    };
    if (is({"script", "activate"}))
        return Shape{Action::ActivateScript,
                     {"--profile", "--reply"},
                     {"--profile", "--reply", "--home", "--no-lookup"}};
    if (is({"script", "deactivate"}))
        return Shape{Action::DeactivateScript, {"--profile"}, {"--profile"}};
    if (is({"script", "restore"}))
        return Shape{Action::RestoreScript,
                     {"--variant", "--profile"},
                     {"--variant", "--profile", "--backup"}};
    if (is({"rules"}))
        return Shape{Action::Rules, {"--reply"}, {"--reply", "--no-lookup", "--profile"}};
    if (is({"status"}))
        return Shape{Action::Status, {}, {"--profile"}};
    if (is({"restore"}))
        return Shape{Action::Restore, {}, {"--profile"}};
    return std::nullopt;
}

}  // namespace

const char* const usageText =
    "usage:\n"
    "  ka-tesmar-admin script activate --profile macos|linux --reply FILE [--home DIR] "
    "[--no-lookup]\n"
    "  ka-tesmar-admin script deactivate --profile macos|linux\n"
    "  ka-tesmar-admin script restore --variant automatic|manual|signal --profile macos|linux "
    "--backup present|absent\n"
    "  ka-tesmar-admin rules --reply FILE [--no-lookup]\n"
    "  ka-tesmar-admin status [--profile macos|linux]\n"
    "  ka-tesmar-admin restore [--profile macos|linux]\n"
    "Without --profile, status and restore use the profile of this system.\n";

std::optional<Arguments> parseArguments(const std::vector<std::string>& words, std::string& error) {
    Arguments arguments;
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h"))
        return arguments;

    std::vector<std::string> command;
    std::map<std::string, std::string> options;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!word.starts_with("--")) {
            if (!options.empty()) {
                error = "unexpected argument '" + word + "'";
                return std::nullopt;
            }
            command.push_back(word);
        } else if (flagOptions.count(word)) {
            options[word] = "";
        } else if (valueOptions.count(word)) {
            if (i + 1 >= words.size()) {
                error = word + " needs a value";
                return std::nullopt;
            }
            if (options.count(word)) {
                error = word + " given twice";
                return std::nullopt;
            }
            options[word] = words[++i];
        } else {
            error = "unknown option '" + word + "'";
            return std::nullopt;
        }
    }

    auto shape = shapeOf(command);
    if (!shape) {
        error = command.empty() ? "no command given" : "unknown command '" + command[0] + "'";
        return std::nullopt;
    }
    arguments.action = shape->action;
    for (const auto& [name, value] : options) {
        if (!shape->allowed.count(name)) {
            error = name + " does not apply here";
            return std::nullopt;
        }
    }
    for (const auto& name : shape->required) {
        if (!options.count(name)) {
            error = name + " is missing";
            return std::nullopt;
        }
    }

    if (options.count("--profile")) {
        arguments.profile = options["--profile"];
        if (!profileNamed(arguments.profile)) {
            error = "unknown profile '" + arguments.profile + "'";
            return std::nullopt;
        }
    }
    if (options.count("--reply"))
        arguments.replyFile = options["--reply"];
    if (options.count("--home"))
        arguments.home = options["--home"];
    arguments.lookUp = !options.count("--no-lookup");

    if (arguments.action == Action::RestoreScript) {
        const std::string& variant = options["--variant"];
        if (variant == "automatic")
            arguments.variant = RestoreVariant::Automatic;
        else if (variant == "manual")
            arguments.variant = RestoreVariant::Manual;
        else if (variant == "signal")
            arguments.variant = RestoreVariant::Signal;
        else {
            error = "--variant must be automatic, manual or signal";
            return std::nullopt;
        }
        // The signal variant lets the shell look for the backup.
        if (options.count("--backup")) {
            const std::string& backup = options["--backup"];
            if (backup != "present" && backup != "absent") {
                error = "--backup must be present or absent";
                return std::nullopt;
            }
            arguments.backupPresent = backup == "present";
        } else if (arguments.variant != RestoreVariant::Signal) {
            error = "--backup is missing";
            return std::nullopt;
        }
    }
    return arguments;
}

}  // namespace kt::admin
