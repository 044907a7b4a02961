// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument commands of `ktx`: idn, query, send, receive.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/link_failure.h"

namespace ktx {

class CommandTransport;
class Notifier;
struct KtxEnvironment;

// Where the link comes from: `--link` (tcp:HOST:PORT, serial:DEVICE[:SETTINGS], sim[:MODEL],
// usbtmc:DEVICE, gpib:[BOARD:]PAD) or, without it, kurvitex.ini in the program folder.
struct LinkChoice {
    std::string library;              // file name of the interface library
    int linkType = 0;                 // [TRANSFER] SS_TYPE
    int deviceType = 1;               // [DEVICE] TYPE
    std::string configPath;           // handed to the library
    std::string deviceFile = "NONE";  // instrument definition file ([DEVICE] INIFILE or --device)
    std::map<std::string, std::map<std::string, std::string>> sections;  // written to configPath
};

// Parses a `--link` value; false when it names no known interface.
bool ParseLinkOption(const std::string& option, LinkChoice& choice);

// The link of one `ktx` command, opened from the options --link, --type, --device, --timeout
// (or kurvitex.ini) and closed when the session ends; a configuration file made for --link is
// removed then too.
class LinkSession {
  public:
    explicit LinkSession(Notifier& notifier);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // kExitOk when the link is open; kExitUsage for a bad option (said on `err`), kExitFailure
    // when the link does not open (the messages are out).
    int Open(const std::map<std::string, std::string>& options, const KtxEnvironment& env,
             std::ostream& err);
    CommandTransport& Transport();
    const LinkChoice& Choice() const;
    // The cause of the latest failure in this session whose cause is known, even when later
    // commands (restarting the acquisition after a failed transfer) went through.
    LinkFailure LatestFailure() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Message `message` as an error, with the cause of the failure in parentheses when it is known
// ("Gerät nicht angeschlossen (Zeitüberschreitung nach 1000 ms)").
void ShowLinkFailure(Notifier& notifier, int message, const LinkFailure& failure);

// `command` is one of idn, query, send, receive; `positional` are its arguments and `options`
// the "--name value" options (--link, --type, --device, --timeout).
int RunLinkCommand(const std::string& command, const std::vector<std::string>& positional,
                   const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                   std::ostream& out, std::ostream& err);

}  // namespace ktx
