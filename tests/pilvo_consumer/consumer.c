/* The smallest measuring application: a C program built outside the project against the
   installed driver. It sets the library up and checks a few answers that need no arm. */
#include <pilvo.h>
#include <stdio.h>

int main(void) {
  double pose[16] = {0};
  if (LeggeVersione() != PILVO_INTERFACE_VERSION || VedeMaxAssi() != PILVO_MAX_JOINTS) {
    fputs("consumer: wrong interface\n", stderr);
    return 1;
  }
  if (RuotaTerna(2) != -3 || LeggeQuota(pose, NULL) != PILVO_NULL_ARGUMENT) {
    fputs("consumer: wrong results\n", stderr);
    return 1;
  }
  printf("pilvo interface %d\n", (int)LeggeVersione());
  return 0;
}
