#include "Corvane/Files/ClCrypto.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <gtest/gtest.h>

#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

TEST(ClCrypto, DecryptionUndoesCbcEncryptionWithoutRemovingPadding) {
  u8 aucKey[gc_iCRYPTO_KEY_SIZE];
  ClCrypto::makeKey("secret", aucKey);
  u8 aucIV[16];
  ClCrypto::buildIV(aucKey, -5, aucIV);
  std::vector<u8> plain(96);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<u8>(i * 3);
  std::vector<u8> cipher(plain.size());
  CryptoPP::CBC_Mode<CryptoPP::Rijndael>::Encryption(aucKey, 16, aucIV).ProcessData(cipher.data(), plain.data(), plain.size());

  u8* pPlain = nullptr;
  ASSERT_TRUE(ClCrypto::decrypt(cipher.data(), static_cast<i32>(cipher.size()), aucKey, aucIV, &pPlain));
  EXPECT_EQ(std::vector<u8>(pPlain, pPlain + plain.size()), plain);
  KvAlignedFree(pPlain);
  // In place, as the archive reader does.
  std::vector<u8> inPlace = cipher;
  ASSERT_TRUE(ClCrypto::decryptInto(inPlace.data(), static_cast<i32>(inPlace.size()), aucKey, aucIV, inPlace.data()));
  EXPECT_EQ(inPlace, plain);
  // Not whole blocks: refused, nothing handed out.
  pPlain = reinterpret_cast<u8*>(&inPlace);
  EXPECT_FALSE(ClCrypto::decrypt(cipher.data(), 40, aucKey, aucIV, &pPlain));
  EXPECT_EQ(pPlain, nullptr);
  EXPECT_KV_ASSERT(ClCrypto::decrypt(cipher.data(), 0, aucKey, aucIV, &pPlain), "iNumBytesCiphertext");
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(ClCrypto::decrypt(cipher.data(), 96, aucKey, aucIV, &pPlain),
                  "FAILED to allocate memory for *OUT_pucAllocatedPlaintext [96 bytes]!");
  KvAllocFailNext(0);
}

}  // namespace
