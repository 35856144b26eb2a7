#include "run/run_main.h"

int main(int argc, char** argv) {
  veltrum::startProgram(argc, argv);
}
