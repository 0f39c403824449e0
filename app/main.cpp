#include <windows.h>

// The install window takes over here once it exists; until then the program
// only carries its version resource.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
