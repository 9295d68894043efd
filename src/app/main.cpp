// Process entry: the one application object, then the framework's start-up.
#include "app/CTestApp.h"

CTestApp theApp;

int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
