/* Checksums over "123456789" whose values are published check values:
   CRC-16/CCITT-FALSE 29B1, CRC-16/ARC BB3D, CRC-32 CBF43926 (bitwise and
   table-driven), Adler-32 091E01DE, and a Fletcher-16 1EDE. */

extern volatile unsigned long result[];

static const char text[] = "123456789";
static unsigned long crc_table[256];

static unsigned short crc16_ccitt(const char *p, int n)
{
  unsigned short crc = 0xFFFF;
  int i;
  while (n-- > 0) {
    crc ^= (unsigned short)((unsigned char)*p++ << 8);
    for (i = 0; i < 8; i++)
      crc = (crc & 0x8000) ? (unsigned short)((crc << 1) ^ 0x1021) : (unsigned short)(crc << 1);
  }
  return crc;
}

static unsigned short crc16_arc(const char *p, int n)
{
  unsigned short crc = 0;
  int i;
  while (n-- > 0) {
    crc ^= (unsigned char)*p++;
    for (i = 0; i < 8; i++)
      crc = (crc & 1) ? (unsigned short)((crc >> 1) ^ 0xA001) : (unsigned short)(crc >> 1);
  }
  return crc;
}

static unsigned long crc32_bitwise(const char *p, int n)
{
  unsigned long crc = 0xFFFFFFFFUL;
  int i;
  while (n-- > 0) {
    crc ^= (unsigned char)*p++;
    for (i = 0; i < 8; i++)
      crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320UL : crc >> 1;
  }
  return ~crc;
}

static unsigned long crc32_table(const char *p, int n)
{
  unsigned long crc = 0xFFFFFFFFUL;
  unsigned int i, k;
  for (i = 0; i < 256; i++) {
    unsigned long c = i;
    for (k = 0; k < 8; k++)
      c = (c & 1) ? (c >> 1) ^ 0xEDB88320UL : c >> 1;
    crc_table[i] = c;
  }
  while (n-- > 0)
    crc = crc_table[(crc ^ (unsigned char)*p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

static unsigned long adler32(const char *p, int n)
{
  unsigned long a = 1, b = 0;
  while (n-- > 0) {
    a = (a + (unsigned char)*p++) % 65521UL;
    b = (b + a) % 65521UL;
  }
  return (b << 16) | a;
}

static unsigned short fletcher16(const char *p, int n)
{
  unsigned short s1 = 0, s2 = 0;
  while (n-- > 0) {
    s1 = (unsigned short)((s1 + (unsigned char)*p++) % 255);
    s2 = (unsigned short)((s2 + s1) % 255);
  }
  return (unsigned short)((s2 << 8) | s1);
}

int main(void)
{
  result[0] = crc16_ccitt(text, 9);
  result[1] = crc16_arc(text, 9);
  result[2] = crc32_bitwise(text, 9);
  result[3] = crc32_table(text, 9);
  result[4] = adler32(text, 9);
  result[5] = fletcher16(text, 9);
  return 0x1234;
}
