#include <windows.h>
extern "C" __declspec(dllexport) HANDLE WINAPI BluetoothFindFirstDevice(void*, void*) { return nullptr; }
