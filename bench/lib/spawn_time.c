/* Runs commands and reports, per run, the wall time, the CPU time and the
 * peak resident memory of the child (from wait4), without the start-up cost
 * of a scripting language in the figures.
 *
 *   spawn_time [-n ROUNDS] [-C DIR] -- COMMAND ARGS... [-- COMMAND ARGS...]...
 *
 * Each round runs every command once, in the given order, so that several
 * commands alternate. One line per run on standard output:
 *   COMMAND_INDEX WALL_SECONDS USER_SECONDS SYSTEM_SECONDS MAXRSS_KB EXIT_STATUS
 * The children's standard input and output are /dev/null; standard error is
 * kept so that failures show. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double seconds(struct timeval value) {
  return (double)value.tv_sec + (double)value.tv_usec / 1e6;
}

static double now(void) {
  struct timespec at;
  clock_gettime(CLOCK_MONOTONIC, &at);
  return (double)at.tv_sec + (double)at.tv_nsec / 1e9;
}

static int runOnce(int index, char** argv, posix_spawn_file_actions_t* actions) {
  pid_t child;
  double start = now();
  int failed = posix_spawnp(&child, argv[0], actions, NULL, argv, environ);
  if (failed != 0) {
    fprintf(stderr, "spawn_time: cannot start %s: %s\n", argv[0], strerror(failed));
    return 1;
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) {
    perror("spawn_time: wait4");
    return 1;
  }
  double wall = now() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%d %.6f %.6f %.6f %ld %d\n", index, wall, seconds(usage.ru_utime),
         seconds(usage.ru_stime), usage.ru_maxrss, code);
  return 0;
}

int main(int argc, char** argv) {
  int rounds = 1;
  int at = 1;
  for (; at < argc && strcmp(argv[at], "--") != 0; ++at) {
    if (strcmp(argv[at], "-n") == 0 && at + 1 < argc) {
      rounds = atoi(argv[++at]);
    } else if (strcmp(argv[at], "-C") == 0 && at + 1 < argc) {
      if (chdir(argv[++at]) != 0) {
        perror("spawn_time: chdir");
        return 2;
      }
    } else {
      fprintf(stderr, "spawn_time: unknown option %s\n", argv[at]);
      return 2;
    }
  }
  /* Split the rest at "--" into commands, each ending in NULL. */
  char** commands[16];
  int count = 0;
  for (; at < argc; ++at) {
    if (strcmp(argv[at], "--") != 0) continue;
    if (count == 16 || at + 1 >= argc || strcmp(argv[at + 1], "--") == 0) {
      fprintf(stderr, "spawn_time: empty command or too many commands\n");
      return 2;
    }
    argv[at] = NULL;
    commands[count++] = &argv[at + 1];
  }
  if (count == 0) {
    fprintf(stderr, "usage: spawn_time [-n ROUNDS] [-C DIR] -- COMMAND ARGS... [-- COMMAND...]\n");
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  for (int round = 0; round < rounds; ++round) {
    for (int i = 0; i < count; ++i) {
      if (runOnce(i, commands[i], &actions) != 0) return 1;
    }
  }
  fflush(stdout);
  return 0;
}
