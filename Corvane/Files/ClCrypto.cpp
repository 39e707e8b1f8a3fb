#include "Corvane/Files/ClCrypto.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

bool ClCrypto::decryptInto(const u8* pucCiphertext, i32 iNumBytesCiphertext, const u8* pucKey, const u8* pucIV,
                           u8* pucPlaintext) {
  KV_ASSERT(iNumBytesCiphertext);
  KV_ASSERT(pucCiphertext);
  KV_ASSERT(pucPlaintext);
  if (iNumBytesCiphertext < 0 || iNumBytesCiphertext % gc_iCRYPTO_BLOCK_SIZE != 0) {
    return false;
  }
  try {
    CryptoPP::CBC_Mode<CryptoPP::Rijndael>::Decryption decryption(pucKey, gc_iCRYPTO_KEY_SIZE, pucIV);
    decryption.ProcessData(pucPlaintext, pucCiphertext, static_cast<size_t>(iNumBytesCiphertext));
  } catch (const CryptoPP::Exception&) {
    return false;
  }
  return true;
}

bool ClCrypto::decrypt(const u8* pucCiphertext, i32 iNumBytesCiphertext, const u8* pucKey, const u8* pucIV,
                       u8** OUT_pucAllocatedPlaintext) {
  KV_ASSERT(iNumBytesCiphertext);
  KV_ASSERT(OUT_pucAllocatedPlaintext);
  *OUT_pucAllocatedPlaintext = nullptr;
  if (iNumBytesCiphertext < 0 || iNumBytesCiphertext % gc_iCRYPTO_BLOCK_SIZE != 0) {
    return false;
  }
  u8* pucPlaintext = static_cast<u8*>(KvAlignedAlloc(static_cast<size_t>(iNumBytesCiphertext), 16));
  if (pucPlaintext == nullptr) {
    KV_FATALF("FAILED to allocate memory for *OUT_pucAllocatedPlaintext [%d bytes]!", iNumBytesCiphertext);
  }
  if (!decryptInto(pucCiphertext, iNumBytesCiphertext, pucKey, pucIV, pucPlaintext)) {
    KvAlignedFree(pucPlaintext);
    return false;
  }
  *OUT_pucAllocatedPlaintext = pucPlaintext;
  return true;
}

void ClCrypto::buildIV(const u8* pucKey, i32 iNameHash, u8* pucOutIV) {
  KV_ASSERT(pucKey);
  KV_ASSERT(pucOutIV);
  u8 aucInput[gc_iCRYPTO_KEY_SIZE + 4];
  std::memcpy(aucInput, pucKey, gc_iCRYPTO_KEY_SIZE);
  const u32 uiHash = static_cast<u32>(iNameHash);
  for (i32 i = 0; i < 4; ++i) {
    aucInput[gc_iCRYPTO_KEY_SIZE + i] = static_cast<u8>(uiHash >> (8 * i));
  }
  u8 aucDigest[CryptoPP::SHA256::DIGESTSIZE];
  CryptoPP::SHA256().CalculateDigest(aucDigest, aucInput, sizeof(aucInput));
  std::memcpy(pucOutIV, aucDigest, gc_iCRYPTO_BLOCK_SIZE);
}

bool ClCrypto::makeKey(const char* pKeyText, u8* pucOutKey) {
  KV_ASSERT(pucOutKey);
  std::memset(pucOutKey, 0, gc_iCRYPTO_KEY_SIZE);
  if (pKeyText == nullptr) {
    return false;
  }
  const size_t uiLength = strnlen(pKeyText, gc_iCRYPTO_KEY_SIZE);
  if (uiLength == 0 || uiLength > static_cast<size_t>(gc_iCRYPTO_MAX_KEY_TEXT)) {
    return false;
  }
  std::memcpy(pucOutKey, pKeyText, uiLength);
  return true;
}
