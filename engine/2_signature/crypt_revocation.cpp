// CheckRevocation: the worker hands copies of the certificates to a thread
// that fetches and judges their lists; the two share one state object,
// which the last of the two to let go of it deletes.
#include "crypt_revocation.h"

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "crypt_owners.h"
#include "loaded_library.h"
#include "this_module.h"

namespace {

// Each fetch of a list may take this long; this platform's chain engine
// ignores the time-out it is given, its retrieval keeps this one.
const DWORD kFetchTimeoutMs = 3000;
// The worker waits no longer than this for all lists, should a fetch
// outlast its time-out all the same; the status is then unknown.
const DWORD kCheckTimeoutMs = 20000;

#ifdef OV_REQUIRE_REVOCATION
const bool kRevocationRequired = true;
#else
const bool kRevocationRequired = false;
#endif

typedef decltype(&CryptRetrieveObjectByUrlW) RetrieveFunction;

// A certificate to check, and the issuer whose list judges it.
struct Subject {
  CCertificate certificate;
  CCertificate issuer;
};

bool IsBefore(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) < 0; }

// The list is issuer's own, signed with its key, and current.
bool IsListOf(PCCRL_CONTEXT crl, PCCERT_CONTEXT issuer) {
  const CRL_INFO& info = *crl->pCrlInfo;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const bool hasNext = info.NextUpdate.dwLowDateTime != 0 || info.NextUpdate.dwHighDateTime != 0;
  return CertCompareCertificateName(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&info.Issuer),
                                    &issuer->pCertInfo->Subject) &&
         CryptVerifyCertificateSignatureEx(0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CRL,
                                           const_cast<CRL_CONTEXT*>(crl),
                                           CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
                                           const_cast<CERT_CONTEXT*>(issuer), 0, nullptr) &&
         !IsBefore(now, info.ThisUpdate) && !(hasNext && IsBefore(info.NextUpdate, now));
}

bool IsListed(PCCRL_CONTEXT crl, PCCERT_CONTEXT certificate) {
  const CRL_INFO& info = *crl->pCrlInfo;
  for (DWORD i = 0; i < info.cCRLEntry; ++i)
    if (CertCompareIntegerBlob(&info.rgCRLEntry[i].SerialNumber,
                               &certificate->pCertInfo->SerialNumber))
      return true;
  return false;
}

// The http addresses of the certificate's distribution points.
std::vector<std::wstring> DistributionPoints(PCCERT_CONTEXT certificate) {
  std::vector<std::wstring> urls;
  const CERT_INFO& info = *certificate->pCertInfo;
  PCERT_EXTENSION extension = CertFindExtension(szOID_CRL_DIST_POINTS, info.cExtension, info.rgExtension);
  CDecoded<CRL_DIST_POINTS_INFO> points;
  DWORD size = 0;
  if (extension == nullptr ||
      !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_CRL_DIST_POINTS, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           points.Receive(), &size))
    return urls;
  for (DWORD i = 0; i < points->cDistPoint; ++i) {
    const CRL_DIST_POINT_NAME& name = points->rgDistPoint[i].DistPointName;
    if (name.dwDistPointNameChoice != CRL_DIST_POINT_FULL_NAME) continue;
    for (DWORD j = 0; j < name.FullName.cAltEntry; ++j) {
      const CERT_ALT_NAME_ENTRY& entry = name.FullName.rgAltEntry[j];
      // Lists are fetched over plain http, as CAs publish them: a signed
      // list needs no secure channel, and https would need a revocation
      // check of its own. Other schemes (ldap, file) are not followed.
      if (entry.dwAltNameChoice == CERT_ALT_NAME_URL && entry.pwszURL != nullptr &&
          _wcsnicmp(entry.pwszURL, L"http://", 7) == 0)
        urls.push_back(entry.pwszURL);
    }
  }
  return urls;
}

// The certificate's status by the first list of its issuer's that one of
// its distribution points gives.
RevocationStatus StatusOf(const Subject& subject, RetrieveFunction retrieve) {
  for (const std::wstring& url : DistributionPoints(subject.certificate.Get())) {
    LPVOID object = nullptr;
    if (!retrieve(url.c_str(), CONTEXT_OID_CRL, 0, kFetchTimeoutMs, &object, nullptr, nullptr,
                  nullptr, nullptr))
      continue;
    const CCrl crl(static_cast<PCCRL_CONTEXT>(object));
    if (!crl || !IsListOf(crl.Get(), subject.issuer.Get())) continue;
    return IsListed(crl.Get(), subject.certificate.Get()) ? kRevoked : kNotRevoked;
  }
  return kRevocationUnknown;
}

struct Shared {
  void Drop() {
    if (InterlockedDecrement(&refs) == 0) delete this;
  }

  std::vector<std::unique_ptr<Subject>> subjects;  // written before the thread starts
  HMODULE module = nullptr;  // the thread's reference on this code's module
  LONG refs = 2;             // the worker's and the thread's
  // Manual reset; set once status holds the answer.
  CKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  RevocationStatus status = kRevocationUnknown;  // the thread's until done is set
};

RevocationStatus CheckSubjects(const Shared& shared) {
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + 14 > MAX_PATH) return kRevocationUnknown;
  wcscpy(path + length, L"\\cryptnet.dll");
  // Loaded at run time: the engine imports nothing from cryptnet.dll.
  CLoadedLibrary cryptnet(path);
  auto retrieve = reinterpret_cast<RetrieveFunction>(reinterpret_cast<void (*)()>(
      cryptnet.Get() != nullptr ? GetProcAddress(cryptnet.Get(), "CryptRetrieveObjectByUrlW") : nullptr));
  if (retrieve == nullptr) return kRevocationUnknown;
  RevocationStatus status = kNotRevoked;
  for (const auto& subject : shared.subjects) {
    const RevocationStatus one = StatusOf(*subject, retrieve);
    if (one == kRevoked) return kRevoked;
    if (one == kRevocationUnknown) status = kRevocationUnknown;
  }
  return status;
}

DWORD WINAPI CheckThread(LPVOID param) {
  Shared* shared = static_cast<Shared*>(param);
  const HMODULE module = shared->module;
  shared->status = CheckSubjects(*shared);
  SetEvent(shared->done.Get());
  shared->Drop();
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

RevocationStatus CheckRevocation(const PCCERT_CHAIN_CONTEXT* chains, size_t count, HANDLE cancelEvent) {
  Shared* shared = new Shared;
  for (size_t c = 0; c < count; ++c) {
    if (chains[c] == nullptr || chains[c]->cChain == 0) continue;
    const CERT_SIMPLE_CHAIN* simple = chains[c]->rgpChain[0];
    // Every certificate below the root: a trusted root is withdrawn by
    // taking it out of the root store, not by a list.
    for (DWORD i = 0; i + 1 < simple->cElement; ++i) {
      std::unique_ptr<Subject> subject(new Subject);
      subject->certificate.Reset(CertDuplicateCertificateContext(simple->rgpElement[i]->pCertContext));
      subject->issuer.Reset(CertDuplicateCertificateContext(simple->rgpElement[i + 1]->pCertContext));
      shared->subjects.push_back(std::move(subject));
    }
  }
  if (shared->subjects.empty()) {
    delete shared;
    return kNotRevoked;
  }
  HANDLE thread = nullptr;
  if (shared->done && (shared->module = ReferenceThisModule()) != nullptr)
    thread = CreateThread(nullptr, 0, &CheckThread, shared, 0, nullptr);
  if (thread == nullptr) {
    if (shared->module != nullptr) FreeLibrary(shared->module);
    delete shared;
    return kRevocationUnknown;
  }
  CloseHandle(thread);

  const HANDLE events[] = {shared->done.Get(), cancelEvent};
  const DWORD wait = WaitForMultipleObjects(cancelEvent != nullptr ? 2 : 1, events, FALSE, kCheckTimeoutMs);
  // A thread given up on finishes its fetch alone and frees what it holds.
  const RevocationStatus status = wait == WAIT_OBJECT_0          ? shared->status
                                  : wait == WAIT_OBJECT_0 + 1 ? kRevocationCancelled
                                                              : kRevocationUnknown;
  shared->Drop();
  return status;
}

bool IsRevocationRequired() { return kRevocationRequired; }
