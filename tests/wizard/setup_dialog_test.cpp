// The setup window driven as a player would: the window runs a scripted job
// on its worker while a second thread finds the window and its message
// boxes and clicks, drags and types at them.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "result_code.h"
#include "setup_dlg.h"
#include "ui_driver.h"

namespace {

// What the scripted jobs do; set by each test before RunSetup.
struct Script {
  ResultCode result = SUCCESS;  // returned by the job when it is not cancelled
  int chunks = 0;               // download chunks of 8192 bytes, 20 ms apart
  HANDLE proceed = nullptr;     // the job waits for it before its end, if set
  std::atomic<int> chunksDone{0};
  HANDLE chunkDone = nullptr;   // set by the job after each chunk
  // With installStep set, the job goes on to the install stage, sets
  // installing, and once cancelled goes on with its step until stepEnds is
  // set; then it sets finished, with the cancel state it saw.
  bool installStep = false;
  HANDLE installing = nullptr;
  HANDLE stepEnds = nullptr;
  HANDLE finished = nullptr;
  std::atomic<bool> sawCancel{false};

  // Waits until the job has done count chunks; false when it has not
  // within timeoutMs.
  bool WaitForChunks(int count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (chunksDone < count) {
      const DWORD waited = GetTickCount() - start;
      if (waited >= timeoutMs || WaitForSingleObject(chunkDone, timeoutMs - waited) != WAIT_OBJECT_0)
        return false;
    }
    return true;
  }
};
Script* gScript = nullptr;

// The install stage of a scripted job: one step that, once the job is
// cancelled, still runs until the test lets it end.
ResultCode ScriptedInstallStep(IInstallProgress* listener, HANDLE cancelEvent) {
  listener->OnExtractComplete();
  listener->OnStartInstall(2);
  SetEvent(gScript->installing);
  WaitForSingleObject(cancelEvent, 20000);
  WaitForSingleObject(gScript->stepEnds, 60000);
  listener->OnInstallFileDone();
  gScript->sawCancel = listener->IsCancelled();
  SetEvent(gScript->finished);
  return gScript->sawCancel ? DLL_USERCANCEL : gScript->result;
}

ResultCode ScriptedJob(const char*, const char*, const char*, IInstallProgress* listener,
                       HANDLE cancelEvent) {
  listener->OnInitSetup();
  listener->OnPrepareDownload();
  listener->OnStartDownload(gScript->chunks * 8192);
  for (int i = 0; i < gScript->chunks; ++i) {
    if (listener->IsCancelled()) return DLL_USERCANCEL;
    Sleep(20);
    listener->OnDownloadProgress(8192);
    ++gScript->chunksDone;
    SetEvent(gScript->chunkDone);
  }
  if (gScript->proceed != nullptr) WaitForSingleObject(gScript->proceed, 20000);
  if (listener->IsCancelled()) return DLL_USERCANCEL;
  listener->OnDownloadComplete();
  if (gScript->installStep) return ScriptedInstallStep(listener, cancelEvent);
  return gScript->result;
}

class SetupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gScript = &script_;
    script_.proceed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    script_.chunkDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    script_.installing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    script_.stepEnds = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    script_.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    CloseHandle(script_.proceed);
    CloseHandle(script_.chunkDone);
    CloseHandle(script_.installing);
    CloseHandle(script_.stepEnds);
    CloseHandle(script_.finished);
    gScript = nullptr;
  }
  ResultCode Run() {
    CSetupDlg dialog(&ScriptedJob);
    ResultCode result = dialog.RunSetup("{00000000-0000-0000-0000-000000000001}",
                                        "http://cdn.ovelin.net/a.cab", "1.0.0.0");
    done_ = true;
    return result;
  }
  // Answers every message box until the window has closed; their texts in
  // the order they were shown.
  std::vector<std::wstring> AnswerBoxesUntilDone(int answer) { return AnswerBoxesUntil(done_, answer); }
  Script script_;
  std::atomic<bool> done_{false};
};

TEST_F(SetupDialogTest, CancelAnsweredYesEndsWithUserCancelAndNoErrorBox) {
  script_.chunks = 1000;  // 20 s unless cancelled
  std::vector<std::wstring> boxes;
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(script_.WaitForChunks(5, 10000));
    // A click on the close button: press and release inside it.
    MouseMoveTo(ClientToScreenPoint(wizard, 285, 10));
    MouseDown();
    MouseUp();
    HWND box = WaitFor(&FindSetupMessageBox, 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), ExpectedTexts().cancelQuestion);
    AnswerBox(box, IDYES);
    boxes = AnswerBoxesUntilDone(IDOK);
  });
  EXPECT_EQ(Run(), DLL_USERCANCEL);
  driver.Join();
  EXPECT_TRUE(boxes.empty());
  EXPECT_LT(script_.chunksDone, 1000);
}

TEST_F(SetupDialogTest, CancelAnsweredNoLetsTheJobComplete) {
  script_.chunks = 60;
  std::vector<std::wstring> boxes;
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(script_.WaitForChunks(5, 10000));
    BringToFront(wizard);
    TypeKey(VK_ESCAPE);
    HWND box = WaitFor(&FindSetupMessageBox, 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), ExpectedTexts().cancelQuestion);
    // The job waits at its cancel test while the question is open: it
    // ends at most the chunk it was in. The wait ends at once when it goes
    // on.
    const int seen = script_.chunksDone;
    script_.WaitForChunks(seen + 2, 300);
    EXPECT_LE(script_.chunksDone, seen + 1);
    AnswerBox(box, IDNO);
    SetEvent(script_.proceed);
    boxes = AnswerBoxesUntilDone(IDOK);
  });
  EXPECT_EQ(Run(), SUCCESS);
  driver.Join();
  EXPECT_EQ(script_.chunksDone, 60);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SetupDialogTest, NoAfterAYesTheJobHasNotSeenWithdrawsIt) {
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    ASSERT_NE(wizard, nullptr);
    for (int answer : {IDYES, IDNO}) {
      BringToFront(wizard);
      TypeKey(VK_ESCAPE);
      HWND box = WaitFor(&FindSetupMessageBox, 5000);
      ASSERT_NE(box, nullptr);
      AnswerBox(box, answer);
    }
    SetEvent(script_.proceed);
    AnswerBoxesUntilDone(IDOK);
  });
  EXPECT_EQ(Run(), SUCCESS);
}

TEST_F(SetupDialogTest, EnterDoesNothingAndEscapeAsks) {
  bool boxAfterEnter = true;
  std::wstring question;
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    ASSERT_NE(wizard, nullptr);
    BringToFront(wizard);
    TypeKey(VK_RETURN);
    boxAfterEnter = FindSetupMessageBox() != nullptr;
    EXPECT_TRUE(IsWindowVisible(wizard));
    TypeKey(VK_ESCAPE);
    HWND box = WaitFor(&FindSetupMessageBox, 5000);
    ASSERT_NE(box, nullptr);
    question = MessageBoxText(box);
    // While the question is open the wizard takes no clicks, so its close
    // button cannot stack a second question on the first.
    EXPECT_FALSE(IsWindowEnabled(wizard));
    AnswerBox(box, IDNO);
    EXPECT_TRUE(IsWindowEnabled(wizard));
    SetEvent(script_.proceed);
    AnswerBoxesUntilDone(IDOK);
  });
  EXPECT_EQ(Run(), SUCCESS);
  driver.Join();
  EXPECT_FALSE(boxAfterEnter);
  EXPECT_EQ(question, ExpectedTexts().cancelQuestion);
}

TEST_F(SetupDialogTest, CloseButtonClicksOnlyWhenReleasedInside) {
  bool boxAfterReleaseOutside = true;
  bool boxAfterClick = false;
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    ASSERT_NE(wizard, nullptr);
    MouseMoveTo(ClientToScreenPoint(wizard, 285, 10));
    MouseDown();
    MouseMoveTo(ClientToScreenPoint(wizard, 250, 40));
    MouseUp();
    boxAfterReleaseOutside = FindSetupMessageBox() != nullptr;
    MouseMoveTo(ClientToScreenPoint(wizard, 285, 10));
    MouseDown();
    MouseUp();
    HWND box = WaitFor(&FindSetupMessageBox, 5000);
    boxAfterClick = box != nullptr;
    if (box != nullptr) AnswerBox(box, IDNO);
    SetEvent(script_.proceed);
    AnswerBoxesUntilDone(IDOK);
  });
  EXPECT_EQ(Run(), SUCCESS);
  driver.Join();
  EXPECT_FALSE(boxAfterReleaseOutside);
  EXPECT_TRUE(boxAfterClick);
}

// Drags from client row y by (40, 30); how far the window moved.
POINT DragFromRow(HWND wizard, int y) {
  RECT before, after;
  GetWindowRect(wizard, &before);
  POINT start = ClientToScreenPoint(wizard, 100, y);
  MouseMoveTo(start);
  MouseDown();
  for (int step = 1; step <= 4; ++step)
    MouseMoveTo(POINT{start.x + 10 * step, start.y + 7 * step + (step == 4 ? 2 : 0)});
  MouseUp();
  GetWindowRect(wizard, &after);
  return POINT{after.left - before.left, after.top - before.top};
}

TEST_F(SetupDialogTest, PressInTheTop19RowsDragsTheWindow) {
  POINT movedAt18 = {}, movedAt19 = {};
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    ASSERT_NE(wizard, nullptr);
    movedAt18 = DragFromRow(wizard, 18);
    movedAt19 = DragFromRow(wizard, 19);
    SetEvent(script_.proceed);
    AnswerBoxesUntilDone(IDOK);
  });
  EXPECT_EQ(Run(), SUCCESS);
  driver.Join();
  EXPECT_EQ(movedAt18.x, 40);
  EXPECT_EQ(movedAt18.y, 30);
  EXPECT_EQ(movedAt19.x, 0);
  EXPECT_EQ(movedAt19.y, 0);
}

TEST_F(SetupDialogTest, FailedJobShowsExactlyOneMessageNamingItsCode) {
  script_.result = DLL_CANT_OPENURL;
  SetEvent(script_.proceed);
  std::vector<std::wstring> boxes;
  CDriverThread driver([&] { boxes = AnswerBoxesUntilDone(IDOK); });
  EXPECT_EQ(Run(), DLL_CANT_OPENURL);
  driver.Join();
  const SetupTexts& texts = ExpectedTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], texts.failed + L"\r\n(ErrorCode : DLL_CANT_OPENURL)\r\n\r\n" +
                          texts.reasonLabel + texts.downloadFailed);
}

TEST_F(SetupDialogTest, FailureMessagesCarryTheReasonOfTheirCode) {
  const SetupTexts& texts = ExpectedTexts();
  struct Case {
    ResultCode code;
    std::wstring text;
  } cases[] = {
      {DLL_LOADINF_NOTEXISTS_ANYITEM,
       texts.failed + L"\r\n(ErrorCode : DLL_LOADINF_NOTEXISTS_ANYITEM)\r\n\r\n" +
           texts.reasonLabel + texts.invalidSetupInfo},
      {DLL_CANT_GET_OCCCACHE, texts.failed + L"\r\n(ErrorCode : DLL_CANT_GET_OCCCACHE)"},
      {COMMON_OUTOFMEMORY, texts.failed + L"\r\n(ErrorCode : COMMON_OUTOFMEMORY)"},
      {-77, texts.failed + L"\r\n(ErrorCode : -77)"},
  };
  SetEvent(script_.proceed);
  for (const Case& c : cases) {
    script_.result = c.code;
    done_ = false;
    std::vector<std::wstring> boxes;
    CDriverThread driver([&] { boxes = AnswerBoxesUntilDone(IDOK); });
    EXPECT_EQ(Run(), c.code);
    driver.Join();
    ASSERT_EQ(boxes.size(), 1u) << c.code;
    EXPECT_EQ(boxes[0], c.text) << c.code;
  }
}

// A window whose worker thread cannot be created.
class CThreadlessSetupDlg : public CSetupDlg {
 public:
  CThreadlessSetupDlg() : CSetupDlg(&ScriptedJob) {}

 protected:
  HANDLE CreateWorker() override { return nullptr; }
};

TEST_F(SetupDialogTest, WorkerThatCannotStartShowsTheMessageWithoutReason) {
  std::vector<std::wstring> boxes;
  CDriverThread driver([&] { boxes = AnswerBoxesUntilDone(IDOK); });
  CThreadlessSetupDlg dialog;
  EXPECT_EQ(dialog.RunSetup("{x}", "http://cdn.ovelin.net/a.cab", nullptr), DLL_CANT_CREATETHREAD);
  done_ = true;
  driver.Join();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], ExpectedTexts().failed + L"\r\n(ErrorCode : DLL_CANT_CREATETHREAD)");
}

// The window destroyed while its thread quits (WM_QUIT in its modal loop)
// in the install stage: the job is cancelled, and the window waits a
// bounded time for it. A step that ends in that time gives the job's own
// result; one that does not (a registration that never returns) is left
// to end alone, and the host's thread gets control back with the job
// cancelled. Either way the next job on the same thread runs as usual.
TEST_F(SetupDialogTest, WindowDestroyedInTheInstallStageWaitsABoundedTime) {
  for (const bool stepHangs : {false, true}) {
    SCOPED_TRACE(stepHangs ? "the step hangs" : "the step ends");
    script_.installStep = true;
    script_.result = SUCCESS;
    script_.chunks = 0;
    done_ = false;
    SetEvent(script_.proceed);
    for (HANDLE event : {script_.installing, script_.finished, script_.stepEnds}) ResetEvent(event);
    if (!stepHangs) SetEvent(script_.stepEnds);
    const DWORD windowThread = GetCurrentThreadId();
    CDriverThread driver([&] {
      ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(script_.installing, 20000));
      PostThreadMessageA(windowThread, WM_QUIT, 0, 0);
    });
    EXPECT_EQ(Run(), DLL_USERCANCEL);
    driver.Join();
    // The modal loop passes the quit on; a host that goes on takes it.
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // The hung step is still running, and ends alone once let go; it
    // sees the job cancelled and reports to no window.
    EXPECT_EQ(stepHangs ? WAIT_TIMEOUT : WAIT_OBJECT_0, WaitForSingleObject(script_.finished, 0));
    SetEvent(script_.stepEnds);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(script_.finished, 20000));
    EXPECT_TRUE(script_.sawCancel);

    script_.installStep = false;
    script_.chunks = 2;
    done_ = false;
    std::vector<std::wstring> boxes;
    CDriverThread answers([&] { boxes = AnswerBoxesUntilDone(IDOK); });
    EXPECT_EQ(Run(), SUCCESS);
    answers.Join();
    EXPECT_TRUE(boxes.empty());
  }
}

TEST(SetupDialogArguments, NullClsidOrCodebaseIsRefusedWithoutAWindow) {
  CSetupDlg dialog(&ScriptedJob);
  EXPECT_EQ(dialog.RunSetup(nullptr, "http://cdn.ovelin.net/a.cab", "1.0.0.0"),
            COMMON_INVALID_PARAM);
  EXPECT_EQ(dialog.RunSetup("{x}", nullptr, "1.0.0.0"), COMMON_INVALID_PARAM);
  EXPECT_EQ(FindSetupWindow(), nullptr);
}

}  // namespace
