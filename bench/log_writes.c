/* The reference of the evaluation benchmark: only the log writes of a run,
 * each line opened, appended and closed on its own, as a log writer that
 * keeps nothing buffered between lines must do. With "locked", each line also
 * takes an exclusive lock and reads the file's status (for its size) before
 * it writes, as a log shared by concurrent runs with a size limit needs.
 *   log_writes PATH COUNT LINE_LENGTH [locked] */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && strcmp(argv[4], "locked") == 0)) {
    fprintf(stderr, "usage: log_writes PATH COUNT LINE_LENGTH [locked]\n");
    return 2;
  }
  int locked = argc == 5;
  long count = atol(argv[2]);
  size_t length = (size_t)atol(argv[3]);
  if (length < 2) length = 2;
  char* line = malloc(length);
  if (line == NULL) return 1;
  memset(line, 'x', length - 2);
  line[length - 2] = '\r';
  line[length - 1] = '\n';
  for (long i = 0; i < count; ++i) {
    int descriptor = open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    struct stat status;
    if (descriptor >= 0 && locked &&
        (flock(descriptor, LOCK_EX) != 0 || fstat(descriptor, &status) != 0)) {
      perror("log_writes");
      return 1;
    }
    if (descriptor < 0 || write(descriptor, line, length) != (ssize_t)length) {
      perror("log_writes");
      return 1;
    }
    close(descriptor);
  }
  free(line);
  return 0;
}
