// Frees one heap block twice on purpose. The heap test runs it first to show
// that Wine's heap checking is on and reports what it finds, so that a clean
// report for trelmo means something.

#include <windows.h>

int main() {
  HANDLE heap = GetProcessHeap();
  void* block = HeapAlloc(heap, 0, 16);
  HeapFree(heap, 0, block);
  HeapFree(heap, 0, block);
  return 0;
}
