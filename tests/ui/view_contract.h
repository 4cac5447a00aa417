// What every view of the window does for the operator, whatever toolkit
// draws it: one suite of cases over a WindowDriver, run by the Qt window's
// test binary and by the Win32 window's, each on its own window.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <tuple>

#include "window_driver.h"

namespace srom::test {

// The view a test binary runs the suite on.
struct ViewUnderTest {
  const char* name;
  std::unique_ptr<WindowDriver> (*open)();
};
inline void PrintTo(const ViewUnderTest& view, std::ostream* out) {
  *out << view.name;
}

// Each view's test binary defines it, with the driver of its own window.
ViewUnderTest ViewOfThisBinary();

// A fresh window of the view for each test.
class ViewContractBase {
 protected:
  void Open(const ViewUnderTest& view) {
    window_ = view.open();
    ASSERT_NE(window_, nullptr);
    ASSERT_NO_FATAL_FAILURE(window_->Start());
  }
  void Close() { window_.reset(); }
  WindowDriver& window() { return *window_; }

 private:
  std::unique_ptr<WindowDriver> window_;
};

class ViewContract : public ViewContractBase,
                     public ::testing::TestWithParam<ViewUnderTest> {
 protected:
  void SetUp() override { Open(GetParam()); }
  void TearDown() override { Close(); }
};

// A case for each entry of the "Device Sel." list.
class ViewSelectionContract
    : public ViewContractBase,
      public ::testing::TestWithParam<std::tuple<ViewUnderTest, int>> {
 protected:
  void SetUp() override { Open(std::get<0>(GetParam())); }
  void TearDown() override { Close(); }
  int Selection() const { return std::get<1>(GetParam()); }
};

}  // namespace srom::test
