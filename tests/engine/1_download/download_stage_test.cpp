// The download stage of an install job against the live package server:
// every result code the stage can give, the listener's exact event
// sequence, the package file and its time stamp, and the size cache's one
// probe per URL.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "download_test_support.h"
#include "install_job.h"
#include "size_probe.h"
#include "test_thread.h"
#include "url_size_cache.h"

namespace {

const size_t kChunk = 8192;

// What the listener sees for a whole transfer of size bytes: a cancel poll
// before the probe's result is used and one before every read, each read
// but the last a full chunk.
std::vector<std::string> TransferEvents(size_t size) {
  std::vector<std::string> events = {"PrepareDownload", "Poll", "StartDownload " + std::to_string(size)};
  for (size_t left = size;; left -= kChunk) {
    events.push_back("Poll");
    if (left > 0) events.push_back("DownloadProgress " + std::to_string(left < kChunk ? left : kChunk));
    if (left < kChunk) break;
  }
  events.push_back("DownloadComplete");
  return events;
}

class DownloadStage : public ::testing::Test {
 protected:
  ResultCode Download(const std::string& url, CRecordingListener& listener) {
    return Download(url.c_str(), listener);
  }
  ResultCode Download(const char* url, CRecordingListener& listener) {
    CInstallJob job(work_.Path().c_str(), &listener);
    return job.Download(url, packagePath_, timeStamp_);
  }

  CScratchFolder work_{"ovdl-work"};
  std::string packagePath_;
  int32_t timeStamp_ = 0;
};

TEST_F(DownloadStage, NullCodebaseIsAnInvalidParameter) {
  CRecordingListener listener;
  EXPECT_EQ(Download(nullptr, listener), COMMON_INVALID_PARAM);
  EXPECT_EQ(listener.events, std::vector<std::string>{"PrepareDownload"});
}

TEST_F(DownloadStage, UntrustedHostFailsBeforeAnyRequest) {
  const std::string tag = UniqueTag();
  const std::string path = "tag/" + tag + "/gen/100/a.cab";
  const std::string urls[] = {
      ServerUrl(path, "evil.example"),
      ServerUrl(path, "ovelin.net"),
      ServerUrl(path, "evil-ovelin.com"),
      ServerUrl(path, "cdn.ovelin.org"),
      ServerUrl(path, "cdn.ovelin.net.evil.example"),
      // Too long for WinINet's buffers: refused, never cut short.
      ServerUrl(path + "?" + std::string(5000, 'q')),
  };
  for (const std::string& url : urls) {
    CRecordingListener listener;
    EXPECT_EQ(Download(url, listener), DLL_INVALID_DOMAIN) << url.substr(0, 80);
    EXPECT_EQ(listener.events, std::vector<std::string>{"PrepareDownload"});
  }
  EXPECT_EQ(CountRequests(tag), 0);
}

TEST_F(DownloadStage, SizeThatCannotBeProbedEndsWithCantGetFileSize) {
  struct Case {
    const char* url;  // %s: a unique tag segment
    int requests;
  };
  const Case cases[] = {
      {"https://cdn.ovelin.net/tag/%s/gen/100/a.cab", 0},
      {"ftp://cdn.ovelin.net/tag/%s/gen/100/a.cab", 0},
      {"http://cdn.ovelin.net/tag/%s/nolength/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/status/301/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/status/302/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/status/404/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/status/500/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/drop/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/length/-5/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/length/abc/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/missing/a.cab", 1},
      // Sizes no package has: refused before the transfer is asked for.
      {"http://cdn.ovelin.net/tag/%s/length/1000000000000000/gen/100/a.cab", 1},
      {"http://cdn.ovelin.net/tag/%s/length/2147483648/gen/100/a.cab", 1},
  };
  for (const Case& c : cases) {
    const std::string tag = UniqueTag();
    std::string url = c.url;
    url.replace(url.find("%s"), 2, tag);
    CRecordingListener listener;
    EXPECT_EQ(Download(url, listener), DLL_CANT_GETFILESIZE) << url;
    EXPECT_EQ(listener.events, std::vector<std::string>{"PrepareDownload"}) << url;
    EXPECT_EQ(CountRequests(tag), c.requests) << url;
    EXPECT_TRUE(packagePath_.empty()) << url;
  }
  // The largest size taken: the transfer is made, and ends short of it.
  CRecordingListener listener;
  EXPECT_EQ(Download(ServerUrl("tag/" + UniqueTag() + "/length/2147483647/gen/100/a.cab"), listener),
            DLL_CANT_READURL);
}

TEST_F(DownloadStage, CancelTakesEffectAtEachPoll) {
  const size_t size = 20000;  // three reads: 8192, 8192, 3616
  const std::vector<std::string> whole = TransferEvents(size);
  for (int cancelAt = 1; cancelAt <= 4; ++cancelAt) {
    const std::string tag = UniqueTag();
    CRecordingListener listener(cancelAt);
    EXPECT_EQ(Download(ServerUrl("tag/" + tag + "/gen/20000/a.cab"), listener), DLL_USERCANCEL);
    // Everything up to and including the poll that said yes, nothing after.
    std::vector<std::string> expected;
    for (int polls = 0; polls < cancelAt; expected.push_back(whole[expected.size()]))
      if (whole[expected.size()] == "Poll") ++polls;
    EXPECT_EQ(listener.events, expected) << "cancel at poll " << cancelAt;
    // The probe runs before the first poll; the transfer only after it.
    EXPECT_EQ(CountRequests(tag), cancelAt == 1 ? 1 : 2);
  }
}

TEST_F(DownloadStage, TransferThatCannotOpenEndsWithCantOpenUrl) {
  const std::string tag = UniqueTag();
  CRecordingListener listener;
  // The probe gets the file, the transfer a 404.
  EXPECT_EQ(Download(ServerUrl("tag/" + tag + "/after/1/404/gen/100/a.cab"), listener), DLL_CANT_OPENURL);
  EXPECT_EQ(listener.events, (std::vector<std::string>{"PrepareDownload", "Poll", "StartDownload 100"}));
  EXPECT_EQ(CountRequests(tag), 2);
}

TEST_F(DownloadStage, BodyCutShortOfItsContentLengthEndsWithCantReadUrl) {
  // Cuts inside a chunk, at its end, and past the first of the larger
  // network reads the chunks are cut from.
  for (const char* cut : {"0", "5000", "8192", "10000", "70000", "131072"}) {
    CRecordingListener listener;
    const std::string url = ServerUrl("tag/" + UniqueTag() + "/truncate/" + cut + "/gen/200000/a.cab");
    EXPECT_EQ(Download(url, listener), DLL_CANT_READURL) << cut;
    EXPECT_EQ(listener.From("DownloadComplete"), std::vector<std::string>{}) << cut;
    EXPECT_LE(ReadWholeFile(packagePath_).size(), static_cast<size_t>(std::stoi(cut))) << cut;
  }
}

// Wine maps Z:\dev\full to the host's /dev/full: it opens, and every write
// to it fails for want of space.
TEST(DownloadStageWrite, FullDiskEndsWithCantWriteFile) {
  CRecordingListener listener;
  CInstallJob job("Z:\\dev", &listener);
  std::string packagePath;
  int32_t timeStamp = 0;
  EXPECT_EQ(job.Download(ServerUrl("tag/" + UniqueTag() + "/gen/100/full").c_str(), packagePath, timeStamp),
            DLL_CANT_WRITEFILE);
  EXPECT_EQ(listener.events, (std::vector<std::string>{"PrepareDownload", "Poll", "StartDownload 100", "Poll"}));
}

TEST_F(DownloadStage, WholeBodyArrivesInChunksOf8192) {
  struct Case {
    const char* path;
    size_t size;
    const char* name;
  };
  const Case cases[] = {
      {"empty/e.cab", 0, "e.cab"},
      {"gen/1/a.cab", 1, "a.cab"},
      {"gen/8191/a.cab", 8191, "a.cab"},
      {"gen/8192/a.cab", 8192, "a.cab"},
      {"gen/8193/a.cab", 8193, "a.cab"},
      {"gen/16384/b.cab", 16384, "b.cab"},
      {"gen/1048576/big.cab", 1048576, "big.cab"},
      {"gen/200003/odd.cab", 200003, "odd.cab"},  // network reads that end mid-chunk
      {"status/206/gen/9000/part.cab", 9000, "part.cab"},
      {"slow/20/gen/40000/slow.cab", 40000, "slow.cab"},
      {"gen/10/dir/", 10, "dir"},
      {"gen/100/pkg.cab?v=2", 100, "pkg.cab"},
  };
  for (const Case& c : cases) {
    const std::string tag = UniqueTag();
    CRecordingListener listener;
    EXPECT_EQ(Download(ServerUrl("tag/" + tag + "/" + c.path), listener), SUCCESS) << c.path;
    EXPECT_EQ(listener.events, TransferEvents(c.size)) << c.path;
    EXPECT_EQ(packagePath_, work_ / c.name) << c.path;
    EXPECT_TRUE(ReadWholeFile(packagePath_) == GeneratedBody(c.size)) << c.path;
    EXPECT_EQ(timeStamp_, kServerLastModifiedEpoch) << c.path;
    EXPECT_EQ(CountRequests(tag), 2) << c.path;
  }
}

TEST_F(DownloadStage, LeftoverPackageFileIsOverwrittenFromItsFirstByte) {
  ASSERT_TRUE(WriteWholeFile(work_ / "a.cab", std::string(50000, 'x')));
  CRecordingListener listener;
  EXPECT_EQ(Download(ServerUrl("tag/" + UniqueTag() + "/gen/100/a.cab"), listener), SUCCESS);
  EXPECT_TRUE(ReadWholeFile(work_ / "a.cab") == GeneratedBody(100));
}

TEST_F(DownloadStage, MissingWorkFolderIsCreated) {
  ASSERT_TRUE(RemoveDirectoryTree(work_.Path().c_str()));
  CRecordingListener listener;
  EXPECT_EQ(Download(ServerUrl("tag/" + UniqueTag() + "/gen/100/a.cab"), listener), SUCCESS);
  EXPECT_TRUE(ReadWholeFile(work_ / "a.cab") == GeneratedBody(100));
}

// The header's instant, whatever its form and whatever the local time zone
// (the tests run in one with daylight saving). What does not read as a date
// counts as missing: the time of the download is used.
TEST_F(DownloadStage, TimeStampComesFromLastModifiedOrTheClock) {
  const int32_t kNow = -1;
  // Windows reads the two older HTTP date forms; Wine's converter does not,
  // and then the clock is used. Never any other date.
  const int32_t kHeaderOrNow = -2;
  struct Case {
    const char* path;
    int32_t expected;
  };
  const Case cases[] = {
      {"gen/10/a.cab", kServerLastModifiedEpoch},
      {"lastmod/Wed%2C%2021%20Oct%202015%2007%3A28%3A00%20GMT/gen/10/a.cab", kServerLastModifiedEpoch},
      {"lastmod/Sun%2C%206%20Nov%201994%2008%3A49%3A37%20GMT/gen/10/a.cab", 784111777},
      {"lastmod/Sunday%2C%2006-Nov-94%2008%3A49%3A37%20GMT/gen/10/a.cab", kHeaderOrNow},
      {"lastmod/Sun%20Nov%20%206%2008%3A49%3A37%201994/gen/10/a.cab", kHeaderOrNow},
      {"lastmod/Mon%2C%2015%20Jan%202024%2012%3A00%3A00%20GMT/gen/10/a.cab", 1705320000},
      {"lastmod/Sun%2C%2031%20Mar%202024%2001%3A30%3A00%20GMT/gen/10/a.cab", 1711848600},
      {"lastmod/Sun%2C%2027%20Oct%202024%2000%3A30%3A00%20GMT/gen/10/a.cab", 1729989000},
      {"lastmod/Sun%2C%2027%20Oct%202024%2001%3A30%3A00%20GMT/gen/10/a.cab", 1729992600},
      {"nolastmod/gen/10/a.cab", kNow},
      {"lastmod/yesterday/gen/10/a.cab", kNow},
      {"lastmod/Fri%2C%2001%20Jan%202100%2000%3A00%3A00%20GMT/gen/10/a.cab", kNow},
  };
  for (const Case& c : cases) {
    CRecordingListener listener;
    const int32_t before = static_cast<int32_t>(std::time(nullptr));
    ASSERT_EQ(Download(ServerUrl("tag/" + UniqueTag() + "/" + c.path), listener), SUCCESS) << c.path;
    const int32_t after = static_cast<int32_t>(std::time(nullptr));
    const bool fromClock = timeStamp_ >= before && timeStamp_ <= after;
    if (c.expected == kNow)
      EXPECT_TRUE(fromClock) << c.path << ": " << timeStamp_;
    else if (c.expected == kHeaderOrNow)
      EXPECT_TRUE(fromClock || timeStamp_ == 784111777) << c.path << ": " << timeStamp_;
    else
      EXPECT_EQ(timeStamp_, c.expected) << c.path;
  }
}

TEST_F(DownloadStage, SizeIsProbedOncePerUrlWhateverItsLetterCase) {
  const std::string tag = UniqueTag();
  const std::string path = "tag/" + tag + "/gen/300/a.cab";
  CRecordingListener first, second;
  EXPECT_EQ(Download(ServerUrl(path), first), SUCCESS);
  std::string shouted = ServerUrl(path, "CDN.OVELIN.NET");
  shouted.replace(shouted.size() - 5, 5, "A.CAB");
  EXPECT_EQ(Download(shouted, second), SUCCESS);
  EXPECT_EQ(second.events, TransferEvents(300));
  EXPECT_EQ(CountRequests(tag), 3);  // one probe, two transfers
}

// The size stays the one probed first; a package that has grown since is
// longer than that size and refused, never written past it.
TEST_F(DownloadStage, ChangedSizeOnTheServerIsNotNoticedWhileLoaded) {
  const std::string name = "dl-" + UniqueTag() + ".cab";
  const std::string served = WinePathOfHostPath(std::getenv("OV_PKG_ROOT")) + "\\" + name;
  ASSERT_TRUE(WriteWholeFile(served, std::string(1000, 'a')));
  CRecordingListener first, second;
  EXPECT_EQ(Download(ServerUrl(name), first), SUCCESS);
  ASSERT_TRUE(WriteWholeFile(served, std::string(3000, 'b')));
  EXPECT_EQ(Download(ServerUrl(name), second), DLL_CANT_READURL);
  DeleteFileA(served.c_str());
  EXPECT_EQ(second.events[2], "StartDownload 1000");
  EXPECT_EQ(ReadWholeFile(packagePath_), "");
  EXPECT_EQ(CountRequests(name), 3);
}

TEST_F(DownloadStage, FailedProbeLeavesNoEntry) {
  const std::string name = "dl-" + UniqueTag() + ".cab";
  const std::string served = WinePathOfHostPath(std::getenv("OV_PKG_ROOT")) + "\\" + name;
  CRecordingListener missing, present;
  EXPECT_EQ(Download(ServerUrl(name), missing), DLL_CANT_GETFILESIZE);
  ASSERT_TRUE(WriteWholeFile(served, std::string(500, 'c')));
  EXPECT_EQ(Download(ServerUrl(name), present), SUCCESS);
  DeleteFileA(served.c_str());
  EXPECT_EQ(present.events, TransferEvents(500));
  EXPECT_EQ(CountRequests(name), 3);
}

TEST_F(DownloadStage, ServerSeesOnePlainGetForTheProbeAndOneForTheTransfer) {
  const std::string tag = UniqueTag();
  const std::string url = ServerUrl("tag/" + tag + "/gen/100/a.cab");
  CRecordingListener listener;
  EXPECT_EQ(Download(url, listener), SUCCESS);
  // The log holds the request lines; either client may name port 80.
  std::vector<std::string> lines;
  std::istringstream log(ReadWholeFile(WinePathOfHostPath(std::getenv("OV_PKG_LOG"))));
  for (std::string line; std::getline(log, line);)
    if (line.find(tag) != std::string::npos) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(lines[0].rfind("GET http://cdn.ovelin.net", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("/tag/" + tag + "/gen/100/a.cab HTTP/1.0"), std::string::npos) << lines[0];
}

// On Windows the waiting call ends at once; Wine's WinHTTP keeps a closed
// request until the answer comes, and the probe then fails.
TEST(UrlSizeCache, AbortFailsTheProbeInFlight) {
  const std::string tag = UniqueTag();
  const std::string url = ServerUrl("tag/" + tag + "/delay/2000/gen/10/a.cab");
  int64_t size = 5;
  bool found = true;
  TestThread probe([&] { found = GetUrlSize(url.c_str(), size); });
  // The server logs a request before it starts to wait.
  for (int i = 0; i < 500 && CountRequests(tag) == 0; ++i) Sleep(20);
  AbortUrlSizeProbe();
  probe.Join();
  EXPECT_EQ(CountRequests(tag), 1);
  EXPECT_FALSE(found);
  EXPECT_EQ(size, 5);
}

TEST(UrlSizeCache, AbortedProbeSendsNothing) {
  const std::string tag = UniqueTag();
  CSizeProbe probe;
  probe.Abort();
  int64_t size = 5;
  EXPECT_FALSE(probe.GetSize("cdn.ovelin.net", 80, "/tag/" + tag + "/gen/10/a.cab", size));
  EXPECT_EQ(size, 5);
  EXPECT_EQ(CountRequests(tag), 0);
}

TEST(UrlSizeCache, ConcurrentCallersWaitForOneProbe) {
  const std::string tag = UniqueTag();
  const std::string url = ServerUrl("tag/" + tag + "/delay/300/gen/777/a.cab");
  int64_t sizes[2] = {0, 0};
  bool found[2] = {false, false};
  TestThread other([&] { found[1] = GetUrlSize(url.c_str(), sizes[1]); });
  found[0] = GetUrlSize(url.c_str(), sizes[0]);
  other.Join();
  EXPECT_TRUE(found[0] && found[1]);
  EXPECT_EQ(sizes[0], 777);
  EXPECT_EQ(sizes[1], 777);
  EXPECT_EQ(CountRequests(tag), 1);
  int64_t untouched = 5;
  EXPECT_FALSE(GetUrlSize(nullptr, untouched));
  EXPECT_EQ(untouched, 5);
}

// A server that stops answering ends the download with the code of the
// step it stalled in once the time-out has passed; a body that runs past
// the probed size ends it as soon as it does, without writing past that
// size. The cases run side by side, each in a work folder of its own; the
// stalled probe in a job process of its own, since a process's probes
// take turns.
TEST(DownloadStageFaults, StalledOrOverlongServerEndsTheDownload) {
  struct Case {
    const char* path;  // after a unique tag
    ResultCode expected;
  };
  const Case cases[] = {
      {"stall/2/status/gen/20000/a.cab", DLL_CANT_OPENURL},   // no status line
      {"stall/2/headers/gen/20000/a.cab", DLL_CANT_OPENURL},  // headers cut off
      {"stall/2/10000/gen/20000/a.cab", DLL_CANT_READURL},    // body stops short
      {"longer/100000/gen/20000/a.cab", DLL_CANT_READURL},    // longer than probed
      {"endless/gen/20000/a.cab", DLL_CANT_READURL},          // no length, never ends
  };
  const size_t n = sizeof cases / sizeof cases[0];
  ResultCode results[n];
  double seconds[n];
  size_t written[n];
  std::vector<TestThread> jobs;
  for (size_t i = 0; i < n; ++i) {
    jobs.emplace_back([&, i] {
      CScratchFolder work(("ovdl-fault" + std::to_string(i)).c_str());
      CInstallJob job(work.Path().c_str(), nullptr);
      std::string packagePath;
      int32_t timeStamp = 0;
      const ULONGLONG start = GetTickCount64();
      const std::string url = ServerUrl("tag/" + UniqueTag() + "/" + cases[i].path);
      results[i] = job.Download(url.c_str(), packagePath, timeStamp);
      seconds[i] = (GetTickCount64() - start) / 1000.0;
      written[i] = packagePath.empty() ? 0 : ReadWholeFile(packagePath).size();
    });
  }
  // The job process works in the downloaded-controls folder.
  CScratchFolder cache("ovdl-cache");
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(cache.Path().c_str()),
                 static_cast<DWORD>(cache.Path().size() + 1));
  RegCloseKey(key);
  const ULONGLONG start = GetTickCount64();
  std::string command = "run_install_job.exe " +
                        ServerUrl("tag/" + UniqueTag() + "/stall/1/status/gen/20000/a.cab") +
                        " {0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01} 1.0.0.4";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION probe = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &probe));
  DWORD probeResult = 0;
  WaitForSingleObject(probe.hProcess, 120000);
  GetExitCodeProcess(probe.hProcess, &probeResult);
  const double probeSeconds = (GetTickCount64() - start) / 1000.0;
  CloseHandle(probe.hProcess);
  CloseHandle(probe.hThread);
  for (TestThread& job : jobs) job.Join();

  std::printf("%-34s %d after %.1f s\n", "stall/1/status (the probe)", static_cast<int>(probeResult),
              probeSeconds);
  EXPECT_EQ(static_cast<DWORD>(DLL_CANT_GETFILESIZE), probeResult);
  EXPECT_LT(probeSeconds, 60.0);  // the time-out and the start of a Wine process
  for (size_t i = 0; i < n; ++i) {
    std::printf("%-34s %d after %.1f s\n", cases[i].path, results[i], seconds[i]);
    EXPECT_EQ(results[i], cases[i].expected) << cases[i].path;
    // A stall ends with the 30 s time-out.
    EXPECT_LT(seconds[i], 45.0) << cases[i].path;
    EXPECT_LE(written[i], 20000u) << cases[i].path;
  }
}

// The player's cancel ends a download that waits on a silent server at
// once, in the probe and in the transfer alike.
TEST(DownloadStageFaults, CancelEndsAStalledDownloadAtOnce) {
  struct Case {
    const char* path;
    int requestsBeforeStall;
  };
  // The stalled probe last: the thread left waiting on it keeps this
  // process's later probes waiting until its time-out.
  const Case cases[] = {{"stall/2/10000/gen/20000/a.cab", 2},
                        {"stall/1/status/gen/20000/a.cab", 1}};
  for (const Case& c : cases) {
    CScratchFolder work("ovdl-cancel");
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const std::string tag = UniqueTag();
    ULONGLONG cancelledAt = 0;
    TestThread player([&] {
      while (CountRequests(tag) < c.requestsBeforeStall) Sleep(20);
      cancelledAt = GetTickCount64();
      SetEvent(cancel);
    });
    CInstallJob job(work.Path().c_str(), nullptr, cancel);
    std::string packagePath;
    int32_t timeStamp = 0;
    const std::string url = ServerUrl("tag/" + tag + "/" + c.path);
    EXPECT_EQ(job.Download(url.c_str(), packagePath, timeStamp), DLL_USERCANCEL) << c.path;
    const double latency = (GetTickCount64() - cancelledAt) / 1000.0;
    player.Join();
    std::printf("cancel during %-28s returned %.2f s after the answer\n", c.path, latency);
    EXPECT_LT(latency, 2.0) << c.path;
    CloseHandle(cancel);
  }
}

}  // namespace
