// The commands bound to the window's buttons, links and menu items.
#include "main_window.h"

namespace dorvane::ui {

void MainWindow::OnGenerate() {
    const Text title = GetText(ControlHandle(Control::编辑框_标题));
    const Text message = GetText(ControlHandle(Control::编辑框_内容));
    const Text location = GetText(ControlHandle(Control::编辑框_位置));
    const GenerateResult result = Generate(title, message, location);
    ShowMessage(result.message, result.kind);
}

void MainWindow::PickLocation() {
    if (!dialog_.Show(hwnd_)) return;
    SetText(ControlHandle(Control::编辑框_位置), dialog_.FileName() + ".html");
}

void MainWindow::ShowHelp() {
    ShowMessage(Utf16ToCp936(u"一个生成html对话框的软件."), MessageKind::Information);
}

void MainWindow::ShowAbout() {
    Text credits = "By:Kestrum\r\nQQ:";
    credits.append(kMakerNumber);
    credits.append("\r\nE-Mail:");
    credits.append(kMakerEmail);
    ShowMessage(credits, MessageKind::Information);
}

void MainWindow::ConfirmExit() {
    static constexpr std::u16string_view kQuestions[] = {
        u"靓仔，真的要走嘛?",
        u"你确定要离开?",
        u"确定要退出软件?",
    };
    SeedRandomFromClock();
    const int k = RandomBetween(1, 3);
    if (ShowMessage(Utf16ToCp936(kQuestions[k - 1]), MessageKind::YesNoQuestion) == Answer::Yes)
        EndProgram(0);
}

}  // namespace dorvane::ui
