/* The floor for a sweep of this design: posix_spawn the same 254 pings, each with its output
 * into a pipe nobody reads, all at once, then wait for every one of them. Prints
 * "LAUNCH_MS TOTAL_MS ANSWERED". Inside a fakelan namespace only.
 *   bare_sweep PREFIX        (for example 198.51.100) */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double nowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
  if (argc != 2 || !getenv("FAKELAN_NS_SCAN")) {
    fprintf(stderr, "usage: bare_sweep PREFIX (inside a fakelan namespace only)\n");
    return 2;
  }
  pid_t pids[254];
  int readEnds[254];
  char address[32];
  const double start = nowMs();
  for (int n = 1; n <= 254; ++n) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    snprintf(address, sizeof address, "%s.%d", argv[1], n);
    char* args[] = {"/usr/bin/ping", "-c", "1", "-W", "1", address, NULL};
    if (posix_spawn(&pids[n - 1], args[0], &actions, NULL, args, environ) != 0) return 1;
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    readEnds[n - 1] = ends[0];
  }
  const double launched = nowMs();
  int answered = 0;
  for (int i = 0; i < 254; ++i) {
    int status;
    while (waitpid(pids[i], &status, 0) < 0) {
    }
    answered += WIFEXITED(status) && WEXITSTATUS(status) == 0;
    close(readEnds[i]);
  }
  printf("%.1f %.1f %d\n", launched - start, nowMs() - start, answered);
  return 0;
}
