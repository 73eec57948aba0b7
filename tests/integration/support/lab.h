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
// Inside a fakelan run: waits, at most 10 s, until no neighbour is left unresolved, and says
// whether that came. A sweep's unanswered ARP requests give up about 3 s after they went
// out, each with a "host unreachable" that reaches every raw ICMP socket open then: in
// sweeps run back to back, the sockets of some pings of the next sweep overflowed (up to
// 152 messages dropped each, in /proc/net/raw), and now and then a responder was reported
// silent.
bool waitForSettledNeighbours();

// Descriptors open in process `pid`.
int openDescriptors(pid_t pid);
// The children of `pid`, zombies included, from every thread's list (empty when none). The
// program's child-launcher process stands for the children it makes on the program's behalf:
// they are listed in its place, and it is not listed itself.
std::string childrenOf(pid_t pid);
// The program's child-launcher process, a child of `pid`, or 0 while it has none (it starts
// with the first launch).
pid_t childLauncherOf(pid_t pid);

// Of those, the ping children (running or zombies): what a sweep must not leave behind. A
// ping still being spawned runs under the program's own name until its exec.
std::string pingChildrenOf(pid_t pid);
// The children with their name, state, age and command line, and the threads of `pid` with
// what each waits in, for failure messages ("no children" when there are none).
std::string describeChildren(pid_t pid);

}  // namespace tessra::testing
