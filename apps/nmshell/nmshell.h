// The verbs of nmshell.
#pragma once

#include <string>
#include <vector>

class ServerModule;

// nmshell probe PATH...: activation, interface identities, reference counts,
// the captured selection and the unload answer before and after the release.
int RunProbe(ServerModule& server, const std::vector<std::string>& paths);
