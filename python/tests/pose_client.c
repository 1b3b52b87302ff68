/* A C client of the driver for the Python package's tests: names the port, loads the TAB file,
   resets the arm, reads it once and prints the 16 values of the pose, row by row. */
#include <stdio.h>

#include "pilvo.h"

int main(int argc, char** argv) {
  double pose[16];
  int32_t status = 0;
  int32_t result = PILVO_OK;
  int i;
  if (argc != 3) {
    fputs("usage: pose_client PORT TAB\n", stderr);
    return 2;
  }
  AprePorta(argv[1]);
  if ((result = LeggeParametri(argv[2])) != PILVO_OK || (result = ResetEncoder()) != PILVO_OK ||
      (result = LeggeQuota(pose, &status)) != PILVO_OK) {
    fprintf(stderr, "pose_client: result %d\n", (int)result);
    return 1;
  }
  for (i = 0; i < 16; ++i) printf("%.17g\n", pose[i]);
  ChiudePorta();
  return 0;
}
