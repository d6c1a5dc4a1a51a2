// The NCrypt calls that mainstream CNG consumers make on a key of a certificate, in the order
// they make them, replayed through the provider's function table with the real bridge and the
// signing service double. Each consumer's sequence is written from its public source or
// documentation (named above it). A step fails when a property the consumer needs is missing or
// of another type, when a size disagrees with the signature, when a signature does not verify
// at the double under the padding and hash the consumer asked for, or when a request the
// provider must refuse reaches the service.
//
// Not replayed: CryptAcquireCertificatePrivateKey's own provider and key opening (one OpenKey
// by the container name here) and "Provider Handle", which ncrypt.dll answers itself.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "provider_road.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "signing_road_support.h"
#include "string_conversion.h"
#include "unique_handle.h"

namespace {

enum class Op { kOpenKey, kProviderText, kKeyText, kKeyNumber, kKeyRefused, kExport, kSign };

// How a signer sizes its signature buffer: a size query first, the "Length" property it read
// divided by 8, or the modulus of the certificate's public key (no query).
enum class Sizing { kQueryFirst, kKeyLength, kCertificate };

constexpr DWORD kHashSalt = 0xFFFFFFFF;  // cbSalt as long as the hash
constexpr DWORD kMaxSalt = 0xFFFFFFFE;   // the largest salt the modulus allows
constexpr SECURITY_STATUS kInternalError = static_cast<SECURITY_STATUS>(0x8009002D);
constexpr SECURITY_STATUS kNotSupported = static_cast<SECURITY_STATUS>(0x80090029);
constexpr DWORD kClrCustomProperty = 0x40000000;  // CngPropertyOptions.CustomProperty

struct Step {
  Op op;
  const wchar_t* name = nullptr;   // property, blob type, or the padding's hash algorithm
  const wchar_t* text = nullptr;   // the text value the consumer relies on
  DWORD flags = 0;                 // the call's flags; for a signature the padding flag
  DWORD bytes = 0;                 // the buffer a refused property is read into
  size_t hash = 0;                 // raw hash length; 20 is SHA-1, 36 TLS 1.0's MD5+SHA1
  bool digest_info = false;        // the hash's DigestInfo is signed instead of the raw hash
  DWORD salt = kHashSalt;
  Sizing sizing = Sizing::kQueryFirst;
  SECURITY_STATUS expected = ERROR_SUCCESS;
};

Step OpenKey() { return Step{Op::kOpenKey}; }
Step ProviderText(const wchar_t* property, const wchar_t* value, DWORD flags) {
  Step step{Op::kProviderText, property, value};
  step.flags = flags;
  return step;
}
Step KeyText(const wchar_t* property, const wchar_t* value) {
  return Step{Op::kKeyText, property, value};
}
Step KeyNumber(const wchar_t* property) { return Step{Op::kKeyNumber, property}; }
// A property the consumer reads and takes as absent when refused.
Step KeyRefused(const wchar_t* property, DWORD bytes, DWORD flags) {
  Step step{Op::kKeyRefused, property};
  step.bytes = bytes;
  step.flags = flags;
  return step;
}
Step Export(const wchar_t* blob_type) { return Step{Op::kExport, blob_type}; }
Step Pkcs1(const wchar_t* algorithm, size_t hash, bool digest_info, Sizing sizing,
           SECURITY_STATUS expected = ERROR_SUCCESS) {
  Step step{Op::kSign, algorithm};
  step.flags = BCRYPT_PAD_PKCS1;
  step.hash = hash;
  step.digest_info = digest_info;
  step.sizing = sizing;
  step.expected = expected;
  return step;
}
Step Pss(const wchar_t* algorithm, size_t hash, DWORD salt, Sizing sizing,
         SECURITY_STATUS expected = ERROR_SUCCESS) {
  Step step{Op::kSign, algorithm};
  step.flags = BCRYPT_PAD_PSS;
  step.hash = hash;
  step.salt = salt;
  step.sizing = sizing;
  step.expected = expected;
  return step;
}

struct Consumer {
  const char* name;
  const char* identity;  // the double's sign identity whose certificate the consumer uses
  std::vector<Step> steps;
};

void PrintTo(const Consumer& consumer, std::ostream* out) { *out << consumer.name; }

const std::vector<Consumer>& Consumers() {
  static const std::vector<Consumer> consumers = {
      // Chromium, net/ssl/ssl_platform_key_win.cc (SSLPlatformKeyCNG): the provider's name
      // (size query, then the value, silent), then per TLS signature a size query and the
      // signature; PSS salts are the digest length. TLS 1.0/1.1 pass MD5+SHA1 without an
      // algorithm, which the service does not sign.
      {"Chromium client TLS key", "cit-rsa2048",
       {OpenKey(), ProviderText(NCRYPT_NAME_PROPERTY, L"Murako KSP", NCRYPT_SILENT_FLAG),
        Pkcs1(BCRYPT_SHA256_ALGORITHM, 32, false, Sizing::kQueryFirst),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kHashSalt, Sizing::kQueryFirst),
        Pss(BCRYPT_SHA512_ALGORITHM, 64, kHashSalt, Sizing::kQueryFirst),
        Pkcs1(nullptr, 36, false, Sizing::kQueryFirst, kNotSupported)}},
      // Firefox, security/manager/ssl/osclientcerts/src/backend_windows.rs (sign_ncrypt): PKCS #1
      // with no algorithm over the DigestInfo NSS built, PSS with the mechanism's salt (the
      // digest length in TLS); a size query before each signature, whose length must hold.
      {"Firefox osclientcerts", "cit-rsa3072",
       {OpenKey(), Pkcs1(nullptr, 32, true, Sizing::kQueryFirst),
        Pkcs1(nullptr, 64, true, Sizing::kQueryFirst),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kHashSalt, Sizing::kQueryFirst)}},
      // .NET, X509Certificate2.GetRSAPrivateKey (CertificateHelpers.GetPrivateKey, crypt32 with
      // CRYPT_ACQUIRE_ONLY_NCRYPT_KEY_FLAG), CngKey.Open (IsEphemeral: "CLR IsEphemeral", one
      // byte, custom property), RSACng (AlgorithmGroup; KeySize: "PublicKeyLength", then
      // "Length"), RSACng.SignHash (a buffer of KeySize / 8 without a size query; PSS salt the
      // hash length) and ExportParameters(false) (RSAPUBLICBLOB).
      {".NET RSACng", "cit-rsa2048",
       {OpenKey(), KeyRefused(L"CLR IsEphemeral", 1, kClrCustomProperty),
        KeyText(NCRYPT_ALGORITHM_GROUP_PROPERTY, L"RSA"), KeyRefused(L"PublicKeyLength", 4, 0),
        KeyNumber(NCRYPT_LENGTH_PROPERTY),
        Pkcs1(BCRYPT_SHA256_ALGORITHM, 32, false, Sizing::kKeyLength),
        Pss(BCRYPT_SHA384_ALGORITHM, 48, kHashSalt, Sizing::kKeyLength),
        Export(BCRYPT_RSAPUBLIC_BLOB)}},
      // .NET SignedCms.ComputeSignature (PkcsPal.Windows GetPrivateKeyForSigning: crypt32 with
      // CRYPT_ACQUIRE_COMPARE_KEY_FLAG, which compares the key's public blob with the
      // certificate's), then CngKey.Open and RSACng as above.
      {".NET SignedCms", "cit-rsa3072",
       {OpenKey(), Export(BCRYPT_PUBLIC_KEY_BLOB),
        KeyRefused(L"CLR IsEphemeral", 1, kClrCustomProperty),
        KeyText(NCRYPT_ALGORITHM_GROUP_PROPERTY, L"RSA"), KeyRefused(L"PublicKeyLength", 4, 0),
        KeyNumber(NCRYPT_LENGTH_PROPERTY),
        Pkcs1(BCRYPT_SHA256_ALGORITHM, 32, false, Sizing::kKeyLength),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kHashSalt, Sizing::kKeyLength)}},
      // Schannel client authentication, as documented for SslSignHash (size query, then the
      // signature) and by the TLS RFCs: PKCS #1 naming the hash in TLS 1.2 (RFC 5246), PSS with
      // a salt of the digest length in TLS 1.3 (RFC 8446, 4.2.3), MD5+SHA1 in TLS 1.0.
      {"Schannel client authentication", "cit-rsa4096",
       {OpenKey(), Pkcs1(BCRYPT_SHA384_ALGORITHM, 48, false, Sizing::kQueryFirst),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kHashSalt, Sizing::kQueryFirst),
        Pkcs1(nullptr, 36, false, Sizing::kQueryFirst, kNotSupported)}},
      // OpenVPN, src/openvpn/cryptoapi.c: crypt32 with CRYPT_ACQUIRE_COMPARE_KEY_FLAG, then
      // xkey_cng_rsa_sign into a buffer of the certificate key's size; PSS with the digest
      // length as salt, or the maximum salt when OpenSSL asks for it, which the service's
      // signature cannot honour.
      {"OpenVPN cryptoapicert", "cit-rsa2048",
       {OpenKey(), Export(BCRYPT_PUBLIC_KEY_BLOB),
        Pkcs1(BCRYPT_SHA256_ALGORITHM, 32, false, Sizing::kCertificate),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kHashSalt, Sizing::kCertificate),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kMaxSalt, Sizing::kCertificate, kNotSupported)}},
      // smimesign, certstore/certstore_windows.go (cngSignHash): PKCS #1 naming the hash, a size
      // query then the signature; SHA-1 when configured so.
      {"smimesign", "pro-rsa2048",
       {OpenKey(), Pkcs1(BCRYPT_SHA256_ALGORITHM, 32, false, Sizing::kQueryFirst),
        Pkcs1(BCRYPT_SHA1_ALGORITHM, 20, false, Sizing::kQueryFirst, kInternalError)}},
      // CMS and Authenticode signing through crypt32 (CryptSignMessage, SignerSignEx with
      // CMSG_SIGNER_ENCODE_INFO and CERT_NCRYPT_KEY_SPEC): PKCS #1 naming the hash; RSASSA-PSS
      // with the salt of the signer's parameters, which may be RFC 4055's default of 20 bytes.
      {"CMS and Authenticode signing", "cit-rsa3072",
       {OpenKey(), Pkcs1(BCRYPT_SHA256_ALGORITHM, 32, false, Sizing::kQueryFirst),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, kHashSalt, Sizing::kQueryFirst),
        Pss(BCRYPT_SHA256_ALGORITHM, 32, 20, Sizing::kQueryFirst, kNotSupported)}},
  };
  return consumers;
}

// The certificate's public key as CNG's RSA public blob, decoded here from the certificate.
std::vector<BYTE> PublicBlobOf(const std::vector<uint8_t>& der) {
  UniqueCertContext certificate(CertCreateCertificateContext(
      X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  if (!certificate) return {};
  const CRYPT_BIT_BLOB& key = certificate.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, key.pbData, key.cbData, 0,
                           nullptr, nullptr, &size)) {
    return {};
  }
  std::vector<BYTE> blob(size);
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, key.pbData, key.cbData, 0,
                           nullptr, blob.data(), &size)) {
    return {};
  }
  return blob;
}

class CngConsumers : public ::testing::TestWithParam<Consumer> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running";
    ASSERT_TRUE(road_.ready()) << "murako_ksp.dll missing or the provider does not open";
    ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
    accounts_ = control_.Accounts();
    SecureStorage::DeleteToken(kEnvironmentKey);
    for (const char* user_type : {"ciudadano", "profesional"}) {
      tokens_[user_type] = control_.NewToken(user_type);
      StoreAccessToken(user_type, tokens_[user_type]);
    }
  }
  void TearDown() override {
    for (const DoubleIdentity& identity : installed_) {
      RemoveProviderCertificate(identity.certificate_der);
      ForgetCertificateMapping(identity.thumbprint);
    }
    ForgetAccessToken("ciudadano");
    ForgetAccessToken("profesional");
  }

  // What one consumer's run has learnt so far.
  struct Run {
    DoubleIdentity identity;
    std::string token;
    std::vector<BYTE> public_blob;
    DWORD modulus_bytes = 0;
    DWORD length_bits = 0;  // the "Length" the consumer read
    NCRYPT_KEY_HANDLE key = 0;
    uint32_t seed = 0;
  };

  void Replay(const Consumer& consumer);
  void Text(const Step& step, Run& run);
  void Sign(const Step& step, Run& run);

  const NCRYPT_KEY_STORAGE_FUNCTION_TABLE& table() const { return road_.table(); }

  ServiceDoubleControl control_;
  ProviderRoad road_;
  nlohmann::json accounts_;
  std::map<std::string, std::string> tokens_;
  std::vector<DoubleIdentity> installed_;
};

void CngConsumers::Text(const Step& step, Run& run) {
  const bool of_key = step.op == Op::kKeyText;
  auto get = [&](BYTE* out, DWORD capacity, DWORD* size) {
    const NCRYPT_PROV_HANDLE provider = road_.provider();
    return of_key ? table().GetKeyProperty(provider, run.key, step.name, out, capacity, size,
                                           step.flags)
                  : table().GetProviderProperty(provider, step.name, out, capacity, size,
                                                step.flags);
  };
  DWORD size = 0;
  ASSERT_EQ(get(nullptr, 0, &size), ERROR_SUCCESS);
  ASSERT_TRUE(size >= sizeof(wchar_t) && size % sizeof(wchar_t) == 0) << "size " << size;
  std::wstring value(size / sizeof(wchar_t), L'?');
  DWORD written = 0;
  ASSERT_EQ(get(reinterpret_cast<BYTE*>(&value[0]), size, &written), ERROR_SUCCESS);
  EXPECT_EQ(written, size);
  ASSERT_EQ(value.back(), L'\0') << "not NUL-terminated";
  value.pop_back();
  EXPECT_EQ(value, step.text);
}

void CngConsumers::Sign(const Step& step, Run& run) {
  const std::vector<uint8_t> raw = TestDigest(step.hash, ++run.seed);
  std::vector<uint8_t> input = step.digest_info ? DigestInfoOf(raw) : raw;
  const bool pss = (step.flags & BCRYPT_PAD_PSS) != 0;
  const DWORD salt = step.salt == kHashSalt  ? static_cast<DWORD>(step.hash)
                     : step.salt == kMaxSalt ? run.modulus_bytes - static_cast<DWORD>(step.hash) - 2
                                             : step.salt;
  BCRYPT_PKCS1_PADDING_INFO pkcs1{step.name};
  BCRYPT_PSS_PADDING_INFO pss_info{step.name, salt};
  void* padding = pss ? static_cast<void*>(&pss_info) : static_cast<void*>(&pkcs1);
  const size_t requests_before = control_.Requests(run.token).size();

  DWORD capacity = step.sizing == Sizing::kCertificate ? run.modulus_bytes : run.length_bits / 8;
  SECURITY_STATUS status = ERROR_SUCCESS;
  if (step.sizing == Sizing::kQueryFirst) {
    status = table().SignHash(road_.provider(), run.key, padding, input.data(),
                              static_cast<DWORD>(input.size()), nullptr, 0, &capacity, step.flags);
    if (status == ERROR_SUCCESS) {
      EXPECT_EQ(capacity, run.modulus_bytes) << "size query";
    }
  }
  std::vector<BYTE> signature(capacity);
  DWORD written = 0;
  if (status == ERROR_SUCCESS) {
    ASSERT_NE(capacity, 0u) << "no signature length known before signing";
    status = table().SignHash(road_.provider(), run.key, padding, input.data(),
                              static_cast<DWORD>(input.size()), signature.data(), capacity,
                              &written, step.flags);
  }
  ASSERT_EQ(status, step.expected) << (pss ? "PSS" : "PKCS #1") << ", hash " << step.hash
                                   << " bytes, salt " << salt;
  if (step.expected != ERROR_SUCCESS) {
    EXPECT_EQ(control_.Requests(run.token).size(), requests_before)
        << "a refused signature reached the service";
    return;
  }
  EXPECT_EQ(written, run.modulus_bytes);
  signature.resize(written);
  EXPECT_TRUE(control_.Verify(run.identity.id, AlgorithmFor(raw.size(), pss), raw, signature))
      << "the signature does not verify as " << AlgorithmFor(raw.size(), pss);
}

void CngConsumers::Replay(const Consumer& consumer) {
  Run run;
  run.identity = IdentityOf(accounts_, consumer.identity);
  const std::string user_type =
      std::string(consumer.identity).rfind("cit-", 0) == 0 ? "ciudadano" : "profesional";
  run.token = tokens_[user_type];
  ASSERT_TRUE(InstallProviderCertificate(run.identity.certificate_der,
                                         Utf8ToWide(run.identity.thumbprint)));
  StoreCertificateMapping(run.identity.thumbprint, user_type, run.identity.id);
  installed_.push_back(run.identity);
  run.public_blob = PublicBlobOf(run.identity.certificate_der);
  ASSERT_GE(run.public_blob.size(), sizeof(BCRYPT_RSAKEY_BLOB));
  run.modulus_bytes =
      reinterpret_cast<const BCRYPT_RSAKEY_BLOB*>(run.public_blob.data())->cbModulus;

  const std::wstring container = Utf8ToWide(run.identity.thumbprint);
  for (size_t index = 0; index < consumer.steps.size(); ++index) {
    const Step& step = consumer.steps[index];
    SCOPED_TRACE(std::string(consumer.name) + ", step " + std::to_string(index + 1) +
                 (step.name != nullptr ? " (" + WideToUtf8(step.name) + ")" : std::string()));
    switch (step.op) {
      case Op::kOpenKey:
        ASSERT_EQ(table().OpenKey(road_.provider(), &run.key, container.c_str(), 0, step.flags),
                  ERROR_SUCCESS);
        break;
      case Op::kProviderText:
      case Op::kKeyText:
        Text(step, run);
        break;
      case Op::kKeyNumber: {
        DWORD value = 0, size = 0;
        ASSERT_EQ(table().GetKeyProperty(road_.provider(), run.key, step.name,
                                         reinterpret_cast<BYTE*>(&value), sizeof(value), &size, 0),
                  ERROR_SUCCESS);
        ASSERT_EQ(size, sizeof(DWORD)) << "not a DWORD";
        EXPECT_EQ(value, run.modulus_bytes * 8);
        run.length_bits = value;
        break;
      }
      case Op::kKeyRefused: {
        std::vector<BYTE> value(step.bytes);
        DWORD size = 0;
        EXPECT_NE(table().GetKeyProperty(road_.provider(), run.key, step.name, value.data(),
                                         step.bytes, &size, step.flags),
                  ERROR_SUCCESS);
        break;
      }
      case Op::kExport: {
        DWORD size = 0;
        ASSERT_EQ(table().ExportKey(road_.provider(), run.key, 0, step.name, nullptr, nullptr, 0,
                                    &size, 0),
                  ERROR_SUCCESS);
        std::vector<BYTE> blob(size);
        ASSERT_EQ(table().ExportKey(road_.provider(), run.key, 0, step.name, nullptr, blob.data(),
                                    size, &size, 0),
                  ERROR_SUCCESS);
        blob.resize(size);
        EXPECT_EQ(blob, run.public_blob);
        break;
      }
      case Op::kSign:
        Sign(step, run);
        break;
    }
    if (HasFatalFailure()) break;
  }
  if (run.key != 0) table().FreeKey(road_.provider(), run.key);
}

TEST_P(CngConsumers, CallSequenceGetsWhatTheConsumerNeeds) { Replay(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Mainstream, CngConsumers, ::testing::ValuesIn(Consumers()),
                         [](const ::testing::TestParamInfo<Consumer>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c != '\0'; ++c) {
                             if (isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

}  // namespace
