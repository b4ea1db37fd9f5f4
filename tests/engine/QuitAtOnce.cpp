// A window program that ends as soon as it starts: a connection server that
// could not take over.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 1; }
