// A small SHA-256 (FIPS 180-4), enough to fingerprint a constant table.
#ifndef KORVEL_TESTS_BOOT_SHA256_H
#define KORVEL_TESTS_BOOT_SHA256_H

#include <cstddef>
#include <string>

// The digest as 64 lowercase hex digits, as sha256sum prints it.
std::string Sha256Hex(const unsigned char* data, std::size_t size);

#endif
