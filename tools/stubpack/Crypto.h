// The builder's cryptography, all of it from a library: OpenSSL's libcrypto in the
// native tree (CryptoOpenSsl.cpp), the system's CNG in the Windows tree
// (CryptoWin32.cpp). Both read and write the same key files.
//
// Keys are ECDSA P-256, signatures ECDSA over SHA-256 in the raw form r || s (the DER
// form the library speaks is converted by agent/SignedInfo.h).
#pragma once
#include <string>

// SHA-256 of bytes (32 bytes; "" only when the library fails).
std::string BytesSha256(const std::string& bytes);
// SHA-256 of a whole file, read in bounded chunks.
bool FileSha256(const std::string& path, std::string& digest, std::string& error);

// Whether this build can make keys and signatures (false on Windows without CNG's
// ECDSA P-256, as on XP).
bool CanSign();

// Writes base.key (the private key, PKCS#8 PEM, readable by its owner only: mode
// 0600, on Windows an access list for the current user alone) and base.pub (the
// public key, SubjectPublicKeyInfo PEM). Refuses when either file exists; leaves
// neither behind on a failure.
bool GenerateKeyPair(const std::string& base, std::string& error);

// Signs data with the P-256 private key in the PEM file at keyPath: the raw 64-byte
// signature and the SubjectPublicKeyInfo DER of the key's public half. An encrypted
// key file is refused (nothing is asked for); on Windows also one without its public
// key (CNG cannot derive it).
bool SignWithKeyFile(const std::string& keyPath, const std::string& data, std::string& rawSignature,
                     std::string& publicSpki, std::string& error);

// Whether rawSignature (r || s) is a valid signature of data by the P-256 key whose
// SubjectPublicKeyInfo DER is spki.
bool VerifySignature(const std::string& spki, const std::string& data, const std::string& rawSignature);

// Checks what the form alone cannot tell: the point of a P-256 SubjectPublicKeyInfo
// lies on the curve (on Windows as far as CNG's import checks it: not under Wine 8,
// nothing without CNG).
bool CheckPublicKey(const std::string& spki, std::string& error);
