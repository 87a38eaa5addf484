// host_main.cpp -- kivahost.exe, the stand-in host: everything is in the host library.
#include "host/host_session.h"

int main(int argc, char **argv) { return RunHost(argc, argv); }
