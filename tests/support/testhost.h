// A test host: loads the component's entry procedure, makes a main instance, sends method
// calls with host values and reports what came back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "hostruntime.h"
#include "tables.h"

namespace zqtest {

// Host values from plain C++ values.
EXTfldval chr(const std::string& utf8);
EXTfldval chr32(const std::u32string& text);
EXTfldval integer(qlong v);
EXTfldval number(double v);
EXTfldval boolean(bool v);
EXTfldval binary(const std::string& bytes);
EXTfldval objref(objinst inst);
// A list (or row) with the given columns; cells are given as text and converted to the
// column's type.
struct Col {
  std::string name;
  ffttype type = fftCharacter;
};
EXTfldval list(const std::vector<Col>& cols, const std::vector<std::vector<std::string>>& rows,
               bool isRow = false);

// The text of a value (UTF-8) and its bytes.
std::string text(const EXTfldval& v);
std::u32string text32(const EXTfldval& v);
std::string bytes(const EXTfldval& v);
// The text of cell (row, col) of a list value.
std::string cell(const EXTfldval& listValue, qlong row, qshort col);

// A fixture with a host, the component initialised, and one main instance.
class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Calls method id (or registered name) of the main instance with params (changed in place).
  hostrt::CallOutcome call(qlong methodId, std::vector<EXTfldval>& params);
  hostrt::CallOutcome call(const std::string& name, std::vector<EXTfldval>& params);
  // Calls a static method (no instance object).
  hostrt::CallOutcome callStatic(qlong methodId, std::vector<EXTfldval>& params);

  hostrt::Host host{ZQWndProc};
  objinst mainInst = 0;
};

}  // namespace zqtest
