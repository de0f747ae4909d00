#include "minitest.h"

int main(int argc, char** argv) { return minitest::runAll(argc, argv); }
