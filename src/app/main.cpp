// gifjoin: joins a numbered series of GIF files into one animated GIF.
#include <iostream>

#include "app/driver.h"

int main() {
  std::ios::sync_with_stdio(false);
  return gifjoin::runDialogue(std::cin);
}
