#include "dedup/Fingerprints.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "dedup/FingerprintsSimd.h"
#include "platform/Random.h"

namespace {

LineFingerprint SipHashFingerprint(CSipHash128& sipHash, const uint8_t* tail, size_t tailLength, uint64_t length) {
  uint64_t hash[2];
  sipHash.Finish(tail, tailLength, length, hash);
  return MakeLineFingerprint(hash[0], hash[1], length);
}

}  // namespace

FingerprintKey MakeFingerprintKey(const uint8_t (&secret)[FingerprintKey::kSecretBytes], bool fast) {
  FingerprintKey key;
  key.fast = fast && HasFingerprintSimd();
  if (key.fast) ExpandFingerprintKeySimd(secret, &key);
  std::memcpy(key.sipKey, secret, sizeof key.sipKey);
  return key;
}

FingerprintKey DrawFingerprintKey() {
  uint8_t secret[FingerprintKey::kSecretBytes];
  std::string reason;
  if (!DrawRandomBytes(secret, sizeof secret, &reason)) {
    throw std::runtime_error("no random source for the fingerprints' secret key: " + reason);
  }
  return MakeFingerprintKey(secret, true);
}

const FingerprintKey& ProcessFingerprintKey() {
  static const FingerprintKey key = DrawFingerprintKey();
  return key;
}

LineFingerprint FingerprintOf(const FingerprintKey& key, const char* text, size_t length) {
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  LineFingerprint fingerprint;
  if (key.fast && FingerprintSimd(key, p, length, false, &fingerprint)) return fingerprint;
  CSipHash128 sipHash(key.sipKey);
  sipHash.AddWords(p, length / 8);
  return SipHashFingerprint(sipHash, p + length / 8 * 8, length % 8, length);
}

bool FingerprintOfAsciiLowerCase(const FingerprintKey& key, const char* text, size_t length,
                                 LineFingerprint* fingerprint) {
  return key.fast && FingerprintSimd(key, reinterpret_cast<const uint8_t*>(text), length, true, fingerprint);
}

CFingerprintStream::CFingerprintStream(const FingerprintKey& key) : m_key(key), m_sipHash(key.sipKey) {}

void CFingerprintStream::Add(const char* bytes, size_t count) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes);
  m_nLength += count;
  if (m_nPending > 0) {
    const size_t taken = count < kBlock - m_nPending ? count : kBlock - m_nPending;
    std::memcpy(m_pending + m_nPending, p, taken);
    m_nPending += taken;
    p += taken;
    count -= taken;
    if (m_nPending < kBlock) return;
    AddBlocks(m_pending, 1);
    m_nPending = 0;
  }
  AddBlocks(p, count / kBlock);
  m_nPending = count % kBlock;
  if (m_nPending > 0) std::memcpy(m_pending, p + count / kBlock * kBlock, m_nPending);
}

void CFingerprintStream::AddBlocks(const uint8_t* bytes, size_t blocks) {
  if (m_key.fast) {
    AddBlocksSimd(m_key, m_polynomial, bytes, blocks);
  } else {
    m_sipHash.AddWords(bytes, 2 * blocks);
  }
}

LineFingerprint CFingerprintStream::Finish() {
  if (m_key.fast) return FinishSimd(m_key, m_polynomial, m_pending, m_nPending, m_nLength);
  const size_t words = m_nPending / 8;
  m_sipHash.AddWords(m_pending, words);
  return SipHashFingerprint(m_sipHash, m_pending + 8 * words, m_nPending % 8, m_nLength);
}
