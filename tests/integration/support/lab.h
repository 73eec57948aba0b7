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

// Of those, the ping children (running or zombies): what a sweep must not leave behind. A
// ping still being spawned runs under the program's own name until its exec.
std::string pingChildrenOf(pid_t pid);
// The children with their name, state, age and command line, and the threads of `pid` with
// what each waits in, for failure messages ("no children" when there are none).
std::string describeChildren(pid_t pid);

}  // namespace tessra::testing
