#include "app/application_main.h"

int main(int argc, char** argv) { return qm::application_main(argc, argv); }
