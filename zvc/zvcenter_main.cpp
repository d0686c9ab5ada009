// zvcenter: the administrator's console.
#include "zvc/console.h"

int main(int argc, char** argv) {
  return zv::consoleMain(argc, argv);
}
