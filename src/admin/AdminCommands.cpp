#include "admin/AdminCommands.h"

#include "admin/StatusReply.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/Validation.h"
#include "privilege/AddressLookups.h"

namespace kt::admin {
namespace {

constexpr int badInput = 2;

// The plan the application would make for the reply, with the same log lines on `err`.
std::optional<ActivationPlan> planFor(const Arguments& arguments, AdminPorts& ports,
                                      std::ostream& err) {
    std::string error;
    auto reply = readStatusReplyFile(arguments.replyFile, error);
    if (!reply) {
        err << "ka-tesmar-admin: " << error << "\n";
        return std::nullopt;
    }
    // A missing or mistyped list is empty, as it is before the first reply.
    CheckedBlockData data = checkBlockData(reply->domains.value_or(std::vector<std::string>{}),
                                           reply->ips.value_or(std::vector<std::string>{}));
    LookupResult found;
    if (arguments.lookUp) {
        found = lookUpAddressesAndWait(selectHostsToLookUp(aiHostList(), data.domains),
                                       ports.processes, ports.workers);
        err << lookupSummaryLine(found.addresses.size(), aiHostList().size()) << "\n";
    }
    if (auto line = rejectedInputLogLine(data, found.rejectedAnswers))
        err << *line << "\n";
    return makeActivationPlan(data, found.addresses);
}

bool hostsBlockPresent(const SystemProfile& profile, FileSystem& files) {
    auto hosts = files.readFile(profile.paths().hostsFile);
    return hosts && hosts->find(profile.paths().hostsStartMarker) != std::string::npos;
}

int status(const SystemProfile& profile, FileSystem& files, std::ostream& out) {
    const SystemPaths& p = profile.paths();
    auto line = [&](const char* what, bool present, const std::string& where) {
        out << what << ": " << (present ? "present" : "absent") << " (" << where << ")\n";
    };
    line("lock file", files.exists(p.lockFile), p.lockFile);
    line("backup", files.exists(p.backupPath), p.backupPath);
    line("hosts block", hostsBlockPresent(profile, files), p.hostsFile);
    line("anchor", files.exists(p.rulesFile), p.rulesFile);
    bool script = files.exists(p.guardianScript);
    bool definition = files.exists(p.guardianDefinition);
    out << "guardian: "
        << (script && definition   ? "present"
            : script || definition ? "incomplete"
                                   : "absent")
        << " (" << p.guardianScript << ", " << p.guardianDefinition << ")\n";
    return 0;
}

// The automatic restore, run now as the application (or its root helper) does at start-up.
int restore(const SystemProfile& profile, AdminPorts& ports, std::ostream& err) {
    if (!ports.runningAsRoot) {
        err << "ka-tesmar-admin: restore must run as root\n";
        return 1;
    }
    bool backup = ports.files.exists(profile.paths().backupPath);
    // The linux scripts say themselves what they restored.
    if (!profile.usesRootHelper())
        err << (backup ? "RESTORE: Hosts hersteld vanuit backup"
                       : "RESTORE: Alle hosts entries verwijderd (geen backup)")
            << "\n";
    ProcessRequest request;
    request.program = profile.usesRootHelper() ? "/bin/bash" : "/bin/sh";
    request.arguments = {"-c", profile.restoreCommand(RestoreVariant::Automatic, backup)};
    request.standardOutput = ProcessOutput::Inherit;
    request.standardError = ProcessOutput::Inherit;
    ProcessResult result = ports.processes.run(request);
    if (!result.started) {
        err << "ka-tesmar-admin: " << result.startError << "\n";
        return 1;
    }
    return result.exitStatus == 0 ? 0 : 1;
}

}  // namespace

int runCommand(const Arguments& arguments, AdminPorts& ports, std::ostream& out,
               std::ostream& err) {
    const SystemProfile& profile = *profileNamed(arguments.profile);
    switch (arguments.action) {
        case Action::Help:
            out << usageText;
            return 0;
        case Action::ActivateScript: {
            auto plan = planFor(arguments, ports, err);
            if (!plan)
                return badInput;
            out << profile.activationScript(*plan,
                                            arguments.home.value_or(ports.files.homeDirectory()));
            return 0;
        }
        case Action::DeactivateScript:
            out << profile.undoCommand();
            return 0;
        case Action::RestoreScript:
            out << profile.restoreCommand(arguments.variant, arguments.backupPresent);
            return 0;
        case Action::Rules: {
            auto plan = planFor(arguments, ports, err);
            if (!plan)
                return badInput;
            for (const FirewallRule& rule : plan->firewallRules)
                out << packetFilterRule(rule) << "\n";
            out << "hosts=" << plan->hostsCount() << " firewall=" << plan->firewallCount() << "\n";
            return 0;
        }
        case Action::Status:
            return status(profile, ports.files, out);
        case Action::Restore:
            return restore(profile, ports, err);
    }
    return badInput;
}

}  // namespace kt::admin
