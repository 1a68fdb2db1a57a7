struct { int speed; long n, d; } data = {1234, -100000L, 7};
struct { unsigned char buffer[32]; } bss;
int main(void) { return data.speed + bss.buffer[0]; }
