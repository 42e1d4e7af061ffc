#include "devcfg/widgets/CDlgDmSetupMain.h"

#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTabWidget>
#include <algorithm>

#include "devcfg/SetupMapping.h"
#include "devcfg/SetupRules.h"
#include "devcfg/widgets/CDlgDmSetupDhcpServer.h"
#include "devcfg/widgets/CDlgDmSetupNetwork.h"
#include "devcfg/widgets/CDlgDmSetupNtp.h"
#include "devcfg/widgets/CDlgDmSetupSerial.h"
#include "devcfg/widgets/CDlgDmSetupWifi.h"
#include "devcfg/widgets/PageControls.h"
#include "platform/UserPrompts.h"

namespace {

// Button places from the bottom right of the client area, in pixels.
constexpr int kSubmitFromRight = 230;
constexpr int kSaveFromRight = 160;
constexpr int kLoadFromRight = 90;
constexpr int kButtonsFromBottom = 27;
constexpr int kButtonWidth = 60;
constexpr int kButtonHeight = 21;
constexpr int kMargin = 7;

sheetscroll::Request ToRequest(int action) {
    using sheetscroll::Request;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return Request::LineUp;
        case QAbstractSlider::SliderSingleStepAdd:
            return Request::LineDown;
        case QAbstractSlider::SliderPageStepSub:
            return Request::PageUp;
        case QAbstractSlider::SliderPageStepAdd:
            return Request::PageDown;
        case QAbstractSlider::SliderMove:
            return Request::ThumbTrack;
        case QAbstractSlider::SliderToMinimum:
            return Request::Top;
        case QAbstractSlider::SliderToMaximum:
            return Request::Bottom;
        default:
            return Request::Other;
    }
}

}  // namespace

std::optional<DeviceConfigRecord> CDlgDmSetupMain::Run(QWidget* parent, UserPrompts& prompts,
                                                       const DeviceConfigRecord& selected,
                                                       int listIndex) {
    CDlgDmSetupMain sheet(prompts, parent);
    sheet.FillFromRecord(selected, listIndex);
    if (sheet.exec() != QDialog::Accepted) return std::nullopt;
    return sheet.OutgoingRecord();
}

CDlgDmSetupMain::CDlgDmSetupMain(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts) {
    setWindowTitle("Device Setup");
    BuildLayout();
    connect(submit_, &QPushButton::clicked, this, &CDlgDmSetupMain::OnSubmit);
    connect(save_, &QPushButton::clicked, this, &CDlgDmSetupMain::SaveSettingFile);
    connect(load_, &QPushButton::clicked, this, &CDlgDmSetupMain::LoadSettingFile);
    connect(tabs_, &QTabWidget::currentChanged, this, &CDlgDmSetupMain::OnTabChanged);
    connect(scrollBar_, &QScrollBar::actionTriggered, this, &CDlgDmSetupMain::OnScrollAction);
}

CDlgDmSetupMain::~CDlgDmSetupMain() = default;

void CDlgDmSetupMain::BuildLayout() {
    content_ = new QWidget(this);
    content_->setObjectName("sheetContent");
    tabs_ = new QTabWidget(content_);
    network_ = new CDlgDmSetupNetwork(values_);
    serial_ = new CDlgDmSetupSerial(values_);
    wifi_ = new CDlgDmSetupWifi(values_, prompts_);
    dhcp_ = new CDlgDmSetupDhcpServer(values_);
    ntp_ = new CDlgDmSetupNtp(values_);
    tabs_->addTab(network_, "Network Setting");
    tabs_->addTab(serial_, "Serial Port Setting");
    tabs_->addTab(wifi_, "WiFi Setting");
    tabs_->addTab(dhcp_, "DHCP Server Setting");
    tabs_->addTab(ntp_, "NTP Setting");
    tabs_->setCurrentIndex(0);

    submit_ = new QPushButton("Submit", content_);
    save_ = new QPushButton("Save", content_);
    load_ = new QPushButton("Load", content_);
    submit_->setObjectName("submit");
    save_->setObjectName("save");
    load_->setObjectName("load");
    submit_->setDefault(true);
    save_->setAutoDefault(false);
    load_->setAutoDefault(false);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setSingleStep(1);

    const QSize tabs = tabs_->sizeHint();
    resize(tabs.width() + 2 * kMargin + scrollBar_->sizeHint().width(),
           tabs.height() + 2 * kMargin + kButtonsFromBottom);
}

void CDlgDmSetupMain::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int barWidth = scrollBar_->sizeHint().width();
    const int w = width() - barWidth;
    const int h = height();
    scrollBar_->setGeometry(w, 0, barWidth, h);
    content_->setGeometry(0, -sheetscroll::kScrollUnitPixels * scrollPosition_, w, h);
    tabs_->setGeometry(kMargin, kMargin, w - 2 * kMargin, h - 2 * kMargin - kButtonsFromBottom);
    submit_->setGeometry(w - kSubmitFromRight, h - kButtonsFromBottom, kButtonWidth, kButtonHeight);
    save_->setGeometry(w - kSaveFromRight, h - kButtonsFromBottom, kButtonWidth, kButtonHeight);
    load_->setGeometry(w - kLoadFromRight, h - kButtonsFromBottom, kButtonWidth, kButtonHeight);
}

// The scroll range is fixed when the sheet opens: half the client height, in 5-pixel units.
void CDlgDmSetupMain::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (scrollRangeSet_) return;
    scrollRangeSet_ = true;
    scrollMaximum_ = sheetscroll::RangeMaximum(height());
    scrollBar_->setRange(0, scrollMaximum_);
    scrollBar_->setPageStep(scrollMaximum_);
    scrollBar_->setValue(0);
}

void CDlgDmSetupMain::OnScrollAction(int action) {
    const int delta = sheetscroll::Delta(ToRequest(action), scrollPosition_, scrollMaximum_,
                                         scrollBar_->sliderPosition());
    scrollBar_->setSliderPosition(scrollPosition_ + delta);
    if (delta == 0) return;
    scrollPosition_ += delta;
    content_->move(0, -sheetscroll::kScrollUnitPixels * scrollPosition_);
}

void CDlgDmSetupMain::OnTabChanged(int index) {
    const auto pages = Pages();
    if (activeTab_ >= 0 && activeTab_ < static_cast<int>(pages.size()))
        pages[activeTab_]->ReadControls();
    activeTab_ = index;
    if (index >= 0 && index < static_cast<int>(pages.size())) pages[index]->RefreshControls();
}

std::array<SetupPage*, 5> CDlgDmSetupMain::Pages() const {
    return {network_, serial_, wifi_, dhcp_, ntp_};
}

void CDlgDmSetupMain::RefreshAllPages() {
    for (SetupPage* page : Pages()) page->RefreshControls();
}

QList<OverLongText> CDlgDmSetupMain::ReadAllPages() {
    QList<OverLongText> overLong;
    for (SetupPage* page : std::array<SetupPage*, 5>{network_, wifi_, serial_, dhcp_, ntp_}) {
        for (const LimitedLineEdit* edit : page->ReadControls())
            overLong.append({edit->accessibleName(), edit->Limit(), edit->objectName()});
    }
    return overLong;
}

void CDlgDmSetupMain::ShowOverLong(const QList<OverLongText>& texts) {
    if (texts.isEmpty()) return;
    QStringList lines;
    for (const OverLongText& text : texts) {
        const auto* control = findChild<const QWidget*>(text.control);
        lines << OverLongMessage(text.label, text.limit, !control || control->isEnabled());
    }
    prompts_.Inform(lines.join('\n'));
}

void CDlgDmSetupMain::ShowControl(const QString& objectName) {
    auto* control = findChild<QWidget*>(objectName);
    if (!control) return;
    for (SetupPage* page : Pages()) {
        if (page->isAncestorOf(control)) tabs_->setCurrentWidget(page);
    }
    if (control->isVisibleTo(this) && control->isEnabled()) control->setFocus();
}

bool CDlgDmSetupMain::FillFromRecord(const DeviceConfigRecord& record, int listIndex) {
    if (!FillSetupValues(values_, record, listIndex)) return false;
    mac_ = record.MacAddress();
    RefreshAllPages();
    return true;
}

bool CDlgDmSetupMain::BuildRecord() {
    // A text cut to its limit would not be the one the user believes set: refuse instead. The
    // edits and the command's fields both limit texts; each text is named once.
    QList<OverLongText> overLong = ReadAllPages();
    const SetupBuild build = BuildSetupRecord(values_, mac_);
    for (const OverLongText& text : build.overLong) {
        const bool named = std::any_of(overLong.begin(), overLong.end(), [&](const auto& shown) {
            return shown.control == text.control;
        });
        if (!named) overLong.append(text);
    }
    ShowOverLong(overLong);
    if (!build.errors.isEmpty())
        prompts_.Inform(build.errors.join('\n'), setupmsg::kErrorCaption, PromptIcon::Error);
    const QString first = overLong.isEmpty() ? build.firstField : overLong.front().control;
    if (!first.isEmpty()) ShowControl(first);
    const bool ok = overLong.isEmpty() && build.Ok();
    if (ok) outgoing_ = build.command;
    return ok;
}

void CDlgDmSetupMain::OnSubmit() {
    if (BuildRecord()) accept();
}
