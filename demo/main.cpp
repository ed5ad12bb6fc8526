// Sheenling.exe: the visual-styles demonstration program.
#include <windows.h>

#include "demo/mdlMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return sheenling::Run(); }
