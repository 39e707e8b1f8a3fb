// Decryption of archive entries: AES (Rijndael) with a 128-bit key in CBC mode, no padding.
//
// Key: an archive's key is a text of 1 to 15 characters, stored in a 16-byte field padded with zero bytes; the
// 16th byte is always 0.
// Initialisation vector, built for each decryption: the first 16 bytes of SHA-256 over the 16-byte key field
// followed by the entry's name hash as 4 bytes, little-endian (the hash of the entry's path below the data
// root, as the archive's table of contents records it). Entries never share an IV unless they share a name,
// and neither the key nor the IV is stored in the archive.
//
// The archive packer uses buildIV and makeKey from here, so both sides always agree. Any thread; no state.
#pragma once

#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iCRYPTO_KEY_SIZE = 16;
inline constexpr i32 gc_iCRYPTO_BLOCK_SIZE = 16;
inline constexpr i32 gc_iCRYPTO_MAX_KEY_TEXT = gc_iCRYPTO_KEY_SIZE - 1;

class ClCrypto {
 public:
  // Decrypts the whole ciphertext into a new 16-byte aligned buffer of the same length (no padding is
  // removed), which the caller frees with KvAlignedFree. False, with no buffer, when the length is not a whole
  // number of blocks. A failed allocation is the fatal error "FAILED to allocate memory for
  // *OUT_pucAllocatedPlaintext [%d bytes]!".
  static bool decrypt(const u8* pucCiphertext, i32 iNumBytesCiphertext, const u8* pucKey, const u8* pucIV,
                      u8** OUT_pucAllocatedPlaintext);
  // The same into a caller's buffer of at least the ciphertext's length (which may be the ciphertext itself).
  static bool decryptInto(const u8* pucCiphertext, i32 iNumBytesCiphertext, const u8* pucKey, const u8* pucIV,
                          u8* pucPlaintext);
  // The initialisation vector of the entry with this name hash (rule above).
  static void buildIV(const u8* pucKey, i32 iNameHash, u8* pucOutIV);
  // The 16-byte key field of a key text: the text, zero bytes after it. False when the text is empty or
  // longer than 15 characters (the field is then all zero).
  static bool makeKey(const char* pKeyText, u8* pucOutKey);
};
