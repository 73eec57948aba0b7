#pragma once

#include <sys/types.h>

#include <set>
#include <string>

namespace tessra::testing {

// The value of an environment variable, empty when unset.
std::string environment(const char* name);

// Inside a fakelan run: the addresses that answer ping, the responders and the namespace's
// own address.
std::set<std::string> fakelanReachable();
// Inside a fakelan run: PREFIX.host.
std::string fakelanAddress(int host);

// Descriptors open in process `pid`.
int openDescriptors(pid_t pid);
// The children of `pid`, zombies included, from every thread's list (empty when none).
std::string childrenOf(pid_t pid);

// Of those, the ping children (running or zombies): what a sweep must not leave behind.
// Other children belong to the toolkit, not to the sweep.
std::string pingChildrenOf(pid_t pid);
// The children with their state and command line, for failure messages.
std::string describeChildren(pid_t pid);

// A TCP socket listening on 127.0.0.1:80 with `backlog` pending connections, or -1. The
// caller owns the descriptor.
int listenOnLoopbackPort80(int backlog);

}  // namespace tessra::testing
