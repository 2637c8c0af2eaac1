// The current user's trusted root certificates, for the https tests (only ever run
// inside the test run's own Wine prefix):
//   cert_store add-root CERT.der      adds the certificate, prints "added=1"
//   cert_store remove-root CERT.der   deletes every copy of it, prints "removed=<count>"
// Exit code 0, 1 when the file or the store fails (the reason on stdout), 2 for bad usage.
#include <windows.h>

#include <wincrypt.h>

#include <string>

#include "util/WinHandle.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// A certificate is a few kilobytes; anything far larger is not one.
constexpr DWORD kMaxCertBytes = 64 * 1024;

void Out(const std::string& line) {
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
}

int Failed(const std::string& what) {
  Out("error=" + what + " (" + std::to_string(GetLastError()) + ")");
  return 1;
}

class Store {
 public:
  explicit Store(HCERTSTORE s) : s_(s) {}
  ~Store() {
    if (s_) CertCloseStore(s_, 0);
  }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  HCERTSTORE get() const { return s_; }

 private:
  HCERTSTORE s_;
};

class CertContext {
 public:
  explicit CertContext(PCCERT_CONTEXT c) : c_(c) {}
  ~CertContext() {
    if (c_) CertFreeCertificateContext(c_);
  }
  CertContext(const CertContext&) = delete;
  CertContext& operator=(const CertContext&) = delete;
  PCCERT_CONTEXT get() const { return c_; }

 private:
  PCCERT_CONTEXT c_;
};

bool ReadDer(const char* path, std::string& der) {
  WinHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  if (!file.ok()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxCertBytes) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  der.resize(size_t(size.QuadPart));
  DWORD got = 0;
  if (!ReadFile(file.get(), der.data(), DWORD(der.size()), &got, nullptr) || got != der.size()) {
    SetLastError(ERROR_READ_FAULT);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc == 3 ? argv[1] : "";
  if (verb != "add-root" && verb != "remove-root") {
    Out("usage: cert_store add-root|remove-root CERT.der");
    return 2;
  }
  std::string der;
  if (!ReadDer(argv[2], der)) return Failed("cannot read " + std::string(argv[2]));
  const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
  // Changes are committed explicitly: Wine keeps them in memory until the store is
  // written back, and closing the store does not write a deletion back.
  Store root(CertOpenSystemStoreA(0, "ROOT"));
  if (!root.get()) return Failed("cannot open the ROOT store");

  if (verb == "add-root") {
    if (!CertAddEncodedCertificateToStore(root.get(), kEncoding, bytes, DWORD(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
      return Failed("cannot add the certificate");
    if (!CertControlStore(root.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr)) return Failed("cannot write the store back");
    Out("added=1");
    return 0;
  }

  CertContext wanted(CertCreateCertificateContext(kEncoding, bytes, DWORD(der.size())));
  if (!wanted.get()) return Failed("not a DER certificate");
  int removed = 0;
  // Each find starts over: a deletion frees the context it was given. The bound
  // keeps a store that never lets go from turning this into an endless loop.
  for (; removed < 1000; ++removed) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(root.get(), kEncoding, 0, CERT_FIND_EXISTING, wanted.get(),
                                                      nullptr);
    if (!found) break;
    if (!CertDeleteCertificateFromStore(found)) return Failed("cannot delete the certificate");
  }
  if (removed && !CertControlStore(root.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
    return Failed("cannot write the store back");
  Out("removed=" + std::to_string(removed));
  return 0;
}
