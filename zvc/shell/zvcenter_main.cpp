// zvcenter: the administrator's console.
#include "zvc/shell/console.h"

int main(int argc, char** argv) {
  return zv::consoleMain(argc, argv);
}
