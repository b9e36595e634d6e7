#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/console_ui.h"
#include "platform/platform_test_support.h"
#include "platform/scripted_ui.h"

namespace zaro {
namespace {

// A form with two fields and OK/Cancel buttons.
class TwoFieldForm : public ModalForm {
 public:
  std::string FormName() const override { return "CTestDlg"; }
  bool SetField(std::string_view name, std::u16string_view value) override {
    if (name == "first") first = value;
    else if (name == "second") second = value;
    else return false;
    return true;
  }
  bool Press(std::string_view control) override {
    if (control == "OK") result = kIdOk;
    else if (control == "Cancel") result = kIdCancel;
    else return false;
    return true;
  }
  bool IsClosed() const override { return result != 0; }
  int Result() const override { return result; }
  std::u16string first, second;
  int result = 0;
};

TEST(ScriptedUi, AnswersQuestionsInOrderAndNeverGuesses) {
  ScriptedUi ui;
  ASSERT_TRUE(ui.LoadAnswers(R"({"answers":[{"message":"yes"},{"file":"C:\\a.p12"},{"folder":null}]})", nullptr));
  EXPECT_EQ(ui.ShowMessageBox(u"plain", u"T", 48), kIdOk) << "an OK-only box takes no answer";
  EXPECT_EQ(ui.ShowMessageBox(u"overwrite?", u"T", 308), kIdYes);
  EXPECT_EQ(ui.ChooseFile({}).value_or(u""), u"C:\\a.p12");
  EXPECT_FALSE(ui.ChooseFolder(u"pick").has_value());
  EXPECT_EQ(ui.Failures(), 0);
  EXPECT_EQ(ui.ShowMessageBox(u"again?", u"T", 308), kIdNo) << "without an answer the cautious button";
  EXPECT_EQ(ui.Failures(), 1);
  ASSERT_EQ(ui.Events().size(), 6u);
  EXPECT_EQ(ui.Events()[1].answer, "yes");
  EXPECT_EQ(ui.Events()[4].kind, "unanswered");
}

TEST(ScriptedUi, AnswerThatDoesNotFitTheBoxIsAFailure) {
  ScriptedUi ui;
  ui.QueueButton(kIdRetry);
  EXPECT_EQ(ui.ShowMessageBox(u"q", u"T", kMbOkCancel), kIdCancel);
  EXPECT_EQ(ui.Failures(), 1);
}

TEST(ScriptedUi, FormStepsSetFieldsAndPressButtons) {
  ScriptedUi ui;
  ASSERT_TRUE(ui.LoadAnswers(
      R"({"answers":[{"form":"CTestDlg","steps":[{"set":{"first":"一","second":"b"}},{"press":"OK"}]}]})", nullptr));
  TwoFieldForm form;
  EXPECT_EQ(ui.RunModal(form), kIdOk);
  EXPECT_EQ(form.first, u"一");
  EXPECT_EQ(form.second, u"b");
  EXPECT_EQ(ui.Failures(), 0);

  TwoFieldForm unanswered;
  EXPECT_EQ(ui.RunModal(unanswered), kIdCancel) << "a form left open is cancelled";
  EXPECT_EQ(ui.Failures(), 1);

  ui.QueueForm("CTestDlg", {FormStep{{{"third", u"x"}}, "Apply", 0, {}}, FormStep{{}, "OK", 0, {}}});
  TwoFieldForm wrong;
  EXPECT_EQ(ui.RunModal(wrong), kIdOk);
  EXPECT_EQ(ui.Failures(), 3) << "an unknown field and an unknown button are both reported";
}

// A form that lists its fields, keeps one secret and counts how often a page was revealed.
class ReadableForm : public TwoFieldForm {
 public:
  std::vector<std::string> FieldNames() const override { return {"first", "second", "secret"}; }
  std::optional<std::u16string> GetField(std::string_view name) const override {
    if (name == "first") return first;
    if (name == "second") return second;
    if (name == "secret") return u"hunter2";
    return std::nullopt;
  }
  bool IsSecretField(std::string_view name) const override { return name == "secret"; }
  void RevealField(std::string_view name) override { revealed.emplace_back(name); }
  std::vector<std::string> revealed;
};

TEST(ScriptedUi, ExpectStepsCompareFieldsAndTheClosedFormIsLoggedWithItsTexts) {
  const std::string log = ::testing::TempDir() + "expect-ui.log";
  std::remove(log.c_str());
  ScriptedUi ui;
  ui.SetLogFile(log);
  ASSERT_TRUE(ui.LoadAnswers(R"({"answers":[{"form":"CTestDlg","steps":[
      {"set":{"first":"一"}},
      {"expect":{"first":"一","secret":"hunter2"}},
      {"expect":{"second":"b","secret":"guess","missing":""}},
      {"press":"OK"}]}]})",
                             nullptr));
  ReadableForm form;
  EXPECT_EQ(ui.RunModal(form), kIdOk);
  EXPECT_EQ(form.revealed, (std::vector<std::string>{"first", "secret", "second", "secret", "missing"}));
  ASSERT_EQ(ui.Failures(), 3) << "a wrong text, a wrong secret and a missing field";
  std::vector<std::string> details;
  for (const UiEvent& event : ui.Events()) {
    if (event.kind == "form-error") details.push_back(event.answer);
  }
  EXPECT_EQ(details, (std::vector<std::string>{"field second holds \"\", expected \"b\"",
                                               "field secret holds \"***\", expected \"***\"",
                                               "no field missing to compare"}));
  const UiEvent& closed = ui.Events().back();
  EXPECT_EQ(closed.kind, "form");
  EXPECT_EQ(closed.fields, (std::vector<std::pair<std::string, std::u16string>>{
                               {"first", u"一"}, {"second", u""}, {"secret", u"***"}}));
  const std::string content = testing::ReadText(log);
  std::remove(log.c_str());
  EXPECT_NE(content.find(R"("fields":{"first":"一","second":"","secret":"***"})"), std::string::npos) << content;
  EXPECT_EQ(content.find("hunter2"), std::string::npos) << "a secret never reaches the log";
}

TEST(ScriptedUi, RejectsMalformedAnswers) {
  ScriptedUi ui;
  std::string error;
  EXPECT_FALSE(ui.LoadAnswers("{", &error));
  EXPECT_FALSE(ui.LoadAnswers(R"({"answers":[{"message":"maybe"}]})", &error));
  EXPECT_NE(error.find("maybe"), std::string::npos);
  EXPECT_FALSE(ui.LoadAnswers(R"({"answers":[{"form":"X","steps":[{"jump":1}]}]})", &error));
  EXPECT_EQ(ui.PendingAnswers(), 0u) << "a rejected file adds nothing";
}

TEST(ConsoleUi, ShowsTheBoxOnTheOutputAndAnswersTheDefaultWithoutATerminal) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  ASSERT_TRUE(in && out);
  ConsoleUi ui(in, out);
  EXPECT_EQ(ui.ShowMessageBox(u"证书文件存在。是否覆盖它？", u"Corvane Tessel KV5", 308), kIdNo);
  TwoFieldForm form;
  EXPECT_EQ(ui.RunModal(form), kIdCancel);
  std::rewind(out);
  std::string printed;
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) printed += static_cast<char>(c);
  EXPECT_NE(printed.find("[Corvane Tessel KV5] warning: 证书文件存在。是否覆盖它？"), std::string::npos) << printed;
  EXPECT_NE(printed.find("yes/NO"), std::string::npos);
  EXPECT_NE(printed.find("CTestDlg needs a display"), std::string::npos);
  std::fclose(in);
  std::fclose(out);
}

// A progress-like form that closes itself on its third tick.
class TickingForm : public TwoFieldForm {
 public:
  int TimerIntervalMs() const override { return 10; }
  void OnTimer() override {
    if (++ticks == 3) result = kIdOk;
  }
  int ticks = 0;
};

TEST(ConsoleUi, TicksATimerFormUntilItClosesWithoutAskingAnything) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ConsoleUi ui(nullptr, out);
  TickingForm form;
  EXPECT_EQ(ui.RunModal(form), kIdOk);
  EXPECT_EQ(form.ticks, 3);
  EXPECT_EQ(std::ftell(out), 0L) << "nothing is printed when no one watches";
  std::fclose(out);
}

}  // namespace
}  // namespace zaro
