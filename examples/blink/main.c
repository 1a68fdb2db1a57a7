/* Walks a light along port B (PBDDR, PBDR). */
#define PBDDR (*(volatile unsigned char *)0xfffd4)
#define PBDR  (*(volatile unsigned char *)0xfffd6)
static const unsigned char pattern[16] = {
  0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80,
  0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00 };
int main(void) {
  unsigned int i, n;
  PBDDR = 0xff;
  for (n = 0;; ++n) {
    PBDR = pattern[n & 15];
    for (i = 0; i < 40000u; ++i) { __asm__ volatile ("nop"); }
  }
  return 0;
}
