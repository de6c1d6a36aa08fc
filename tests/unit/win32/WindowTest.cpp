// The window layer: binding a platform window to its object, routing its messages, opening
// windows, running dialog templates. Win32 only, on a display (under Wine a virtual one).
#include <windows.h>

#include <stdexcept>
#include <vector>

#include "resources/resource.h"
#include "ui/WindowImp.h"
#include "unit/support/CoreFixture.h"

namespace VLN2 {
namespace {

// Records what reaches the object and lets a test steer the hooks.
class ProbeWindow : public WindowImp {
 public:
  explicit ProbeWindow(Core* core) : WindowImp(core) {}

  bool PrepareClass(tagWNDCLASSEXA* description) override {
    ++prepared;
    if (description) className = description->lpszClassName;
    return allowClass;
  }
  void OnDestroyed() override { ++destroyed; }
  MessageResult HandleMessage(unsigned message, MessageParam1 first,
                              MessageParam2 second) override {
    messages.push_back(message);
    if (message == WM_APP + 1) throw std::runtime_error("handler fault");
    if (dialogResult && message == WM_INITDIALOG) {
      ++initialised;
      EndDialog(GetHandle(), dialogResult);
      return TRUE;
    }
    if (dialogResult) return FALSE;
    return WindowImp::HandleMessage(message, first, second);
  }
  bool Saw(unsigned message) const {
    for (unsigned m : messages)
      if (m == message) return true;
    return false;
  }

  int prepared = 0;
  int destroyed = 0;
  int initialised = 0;
  bool allowClass = true;
  int dialogResult = 0;  // non-zero: behave as a dialog that ends itself with this value
  const char* className = nullptr;
  std::vector<unsigned> messages;
};

class WindowTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    // Without a display (Wine without X) no window can be shown at all.
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1, 1,
                                 nullptr, nullptr, nullptr, nullptr);
    if (!probe) GTEST_SKIP() << "no display";
    DestroyWindow(probe);
    window_ = new ProbeWindow(core_);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    ReleaseElement(window_);
    CoreFixture::TearDown();
  }
  static void Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      DispatchMessageA(&msg);
    }
  }

  ProbeWindow* window_ = nullptr;
};

TEST_F(WindowTest, OpenGivesTheClientAreaAsked) {
  ASSERT_TRUE(window_->Open(100, 100, 640, 480, "Probe"));
  HWND hwnd = window_->GetHandle();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(window_->IsOpen());
  EXPECT_EQ(window_->GetClientWidth(), 640);
  EXPECT_EQ(window_->GetClientHeight(), 480);
  RECT outer;
  GetWindowRect(hwnd, &outer);
  EXPECT_GT(outer.bottom - outer.top, 480) << "the caption is outside the client area";
  char type[64] = {};
  GetClassNameA(hwnd, type, sizeof type);
  EXPECT_STREQ(type, "Gui::WindowImp");
  EXPECT_STREQ(window_->className, "Gui::WindowImp");
  char title[64] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  EXPECT_STREQ(title, "Probe");
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(window_));
  EXPECT_EQ(window_->prepared, 1);
}

TEST_F(WindowTest, BindingStartsWithTheNonClientCreation) {
  ASSERT_TRUE(window_->Open(0, 0, 200, 100, "Probe"));
  ASSERT_FALSE(window_->messages.empty());
  EXPECT_EQ(window_->messages.front(), static_cast<unsigned>(WM_NCCREATE));
  EXPECT_TRUE(window_->Saw(WM_CREATE));
}

TEST_F(WindowTest, SecondOpenLeavesTheFirstWindowAlone) {
  ASSERT_TRUE(window_->Open(0, 0, 320, 200, "First"));
  HWND first = window_->GetHandle();
  EXPECT_FALSE(window_->Open(10, 10, 100, 100, "Second"));
  EXPECT_EQ(window_->GetHandle(), first);
  EXPECT_EQ(window_->GetClientWidth(), 320);
  EXPECT_EQ(window_->prepared, 1);
}

TEST_F(WindowTest, ClassIsRegisteredOncePerModule) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "One"));
  ProbeWindow* other = new ProbeWindow(core_);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(other->Open(0, 0, 100, 100, "Two"));
  EXPECT_NE(other->GetHandle(), window_->GetHandle());
  ReleaseElement(other);
}

TEST_F(WindowTest, RefusedClassStopsOpen) {
  window_->allowClass = false;
  EXPECT_FALSE(window_->Open(0, 0, 100, 100, "Refused"));
  EXPECT_EQ(window_->GetHandle(), nullptr);
  EXPECT_FALSE(window_->IsOpen());
}

TEST_F(WindowTest, CloseClearsIsOpenButKeepsTheWindow) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "Close"));
  HWND hwnd = window_->GetHandle();
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(window_->IsOpen());
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(window_->GetHandle(), hwnd);
}

TEST_F(WindowTest, DestroyUnbindsAndCallsTheHook) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "Destroy"));
  HWND hwnd = window_->GetHandle();
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(window_->destroyed, 1);
  EXPECT_EQ(window_->GetHandle(), nullptr);
  EXPECT_FALSE(window_->IsOpen());
  EXPECT_FALSE(window_->Saw(WM_NCDESTROY)) << "messages after unbinding get default handling";
  // Unbound again, the object can open a new window.
  EXPECT_TRUE(window_->Open(0, 0, 100, 100, "Again"));
}

TEST_F(WindowTest, ReleasingTheObjectDestroysItsWindow) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "Owned"));
  HWND hwnd = window_->GetHandle();
  ReleaseElement(window_);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowTest, DetachForgetsTheHandle) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "Detach"));
  HWND hwnd = window_->GetHandle();
  EXPECT_EQ(window_->Detach(), hwnd);
  EXPECT_EQ(window_->GetHandle(), nullptr);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
  size_t seen = window_->messages.size();
  SendMessageA(hwnd, WM_APP, 0, 0);
  EXPECT_EQ(window_->messages.size(), seen) << "a detached window no longer reaches the object";
  EXPECT_EQ(window_->Detach(), nullptr);
  DestroyWindow(hwnd);
  EXPECT_EQ(window_->destroyed, 0);
}

TEST_F(WindowTest, SetClientSizeResizesTheClientArea) {
  ASSERT_TRUE(window_->Open(50, 60, 100, 100, "Resize"));
  RECT before;
  GetWindowRect(window_->GetHandle(), &before);
  EXPECT_TRUE(window_->SetClientSize(300, 200));
  EXPECT_EQ(window_->GetClientWidth(), 300);
  EXPECT_EQ(window_->GetClientHeight(), 200);
  RECT after;
  GetWindowRect(window_->GetHandle(), &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
}

TEST_F(WindowTest, SizesWithoutAWindowAreZero) {
  EXPECT_EQ(window_->GetClientWidth(), 0);
  EXPECT_EQ(window_->GetClientHeight(), 0);
  EXPECT_EQ(window_->SetClientSize(10, 10), 0);
}

TEST_F(WindowTest, ProcessMessagesTakesOneMessageAtATime) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "Loop"));
  Drain();
  EXPECT_EQ(window_->ProcessMessages(0), 0) << "empty queue";
  PostMessageA(window_->GetHandle(), WM_APP, 1, 0);
  PostMessageA(window_->GetHandle(), WM_APP, 2, 0);
  EXPECT_EQ(window_->ProcessMessages(0), 1) << "another message waits";
  EXPECT_TRUE(window_->Saw(WM_APP));
  EXPECT_EQ(window_->ProcessMessages(1), 0);
  PostQuitMessage(0);
  EXPECT_EQ(window_->ProcessMessages(0), -1);
  PostQuitMessage(0);
  EXPECT_EQ(window_->ProcessMessages(1), -1);
}

TEST_F(WindowTest, NoExceptionLeavesTheWindowProcedure) {
  ASSERT_TRUE(window_->Open(0, 0, 100, 100, "Fault"));
  EXPECT_EQ(SendMessageA(window_->GetHandle(), WM_APP + 1, 0, 0), 0);
  EXPECT_TRUE(window_->Saw(WM_APP + 1));
  EXPECT_TRUE(IsWindow(window_->GetHandle()));
}

TEST_F(WindowTest, RunDialogReturnsTheEndValueAndRunsOnce) {
  window_->dialogResult = 7;
  EXPECT_EQ(window_->RunDialog(IDD_TERMS), 7);
  EXPECT_EQ(window_->initialised, 1);
  HWND dialog = window_->GetHandle();
  EXPECT_NE(dialog, nullptr) << "the dialog's handle stays bound";
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(window_->RunDialog(IDD_TERMS), 1);
  EXPECT_EQ(window_->initialised, 1) << "nothing shown the second time";
}

TEST_F(WindowTest, RunDialogOfAMissingTemplateFails) {
  window_->dialogResult = 7;
  EXPECT_EQ(window_->RunDialog(9999), -1);
  EXPECT_EQ(window_->GetHandle(), nullptr);
  EXPECT_EQ(window_->initialised, 0);
}

}  // namespace
}  // namespace VLN2
