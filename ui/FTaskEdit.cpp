#include "ui/FTaskEdit.h"

#include "lib/classZQStringUtil.h"
#include "platform/files.h"
#include "ui/DesignScale.h"
#include "ui/Dialogs.h"
#include "ui/QtDateTime.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyle>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

bool IsBlank(const QString& text) {
    return TZQStringUtil::Trim(ui::ToStdString(text)).empty();
}

bool IsNameCharacter(QChar c) {
    const char16_t u = c.unicode();
    return u == '.' || u == '_' || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') ||
           (u >= 'a' && u <= 'z');
}

// A control of kind W with its design name.
template <class W> W* Named(QWidget* parent, const char* name) {
    auto* control = new W(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

template <class W> W* Captioned(QWidget* parent, const char* name, const char* caption) {
    W* control = Named<W>(parent, name);
    control->setText(QString::fromLatin1(caption));
    return control;
}

} // namespace

TFormTaskEdit::TFormTaskEdit(QWidget* parent)
    : QDialog(parent), FTask(std::make_unique<TQMTask>()) {
    setObjectName(QStringLiteral("FormTaskEdit"));
    setWindowTitle(QStringLiteral("Define task"));
    setSizeGripEnabled(false);
    CreateControls();
    PlaceControls();
    SetTabOrder();
}

TFormTaskEdit::~TFormTaskEdit() = default;

void TFormTaskEdit::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The controls keep the design's places; on a screen too small for
    // them at the desktop's font they scroll, and Save and Cancel stay.
    ScrollMain = Named<QScrollArea>(this, "ScrollMain");
    ScrollMain->setFrameShape(QFrame::NoFrame);
    ScrollMain->setWidgetResizable(false);
    ScrollMain->setFocusPolicy(Qt::NoFocus);
    PanelMain = Named<QFrame>(ScrollMain, "PanelMain");
    ScrollMain->setWidget(PanelMain);
    PanelBottom = Named<QFrame>(this, "PanelBottom");
    layout->addWidget(ScrollMain, 1);
    layout->addWidget(PanelBottom, 0);

    const auto button = [](QWidget* parent, const char* name, const char* caption) {
        auto* b = Captioned<QPushButton>(parent, name, caption);
        // Neither Enter nor Escape may close the dialog through a button.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    const auto group = [](QWidget* parent, const char* name) {
        auto* f = Named<QFrame>(parent, name);
        f->setFrameStyle(QFrame::Box | QFrame::Sunken);
        return f;
    };

    ButtonSave = button(PanelBottom, "ButtonSave", "&Save");
    ButtonCancel = button(PanelBottom, "ButtonCancel", "&Cancel");
    // Kept at the right edge, as the design has them, whatever the width.
    auto* buttons = new QHBoxLayout(PanelBottom);
    buttons->addStretch(1);
    buttons->addWidget(ButtonSave);
    buttons->addWidget(ButtonCancel);

    Panel6 = group(PanelMain, "Panel6");
    RadioOne_Shot = Captioned<QRadioButton>(Panel6, "RadioOne_Shot", "Once at date");
    PickerDate = Named<QDateEdit>(Panel6, "PickerDate");
    PickerDate->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
    PickerDate->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
    PickerDate->setCalendarPopup(true);
    RadioDaily = Captioned<QRadioButton>(Panel6, "RadioDaily", "Daily");
    RadioWeekly = Captioned<QRadioButton>(Panel6, "RadioWeekly", "Weekly");
    RadioWeekly->setChecked(true);
    Options = new QButtonGroup(this);
    Options->setObjectName(QStringLiteral("Options"));
    Options->addButton(RadioOne_Shot);
    Options->addButton(RadioDaily);
    Options->addButton(RadioWeekly);
    // Tab stops at the selected option (Weekly without one), whatever
    // selected it; the arrow keys move between them.
    connect(Options, &QButtonGroup::buttonToggled, this, [this] {
        QAbstractButton* stop = Options->checkedButton() ? Options->checkedButton() : RadioWeekly;
        for (QAbstractButton* option : Options->buttons())
            option->setFocusPolicy(option == stop
                                       ? Qt::StrongFocus
                                       : Qt::FocusPolicy(Qt::StrongFocus & ~Qt::TabFocus));
    });
    CheckMonday = Captioned<QCheckBox>(Panel6, "CheckMonday", "Mo");
    CheckTuesday = Captioned<QCheckBox>(Panel6, "CheckTuesday", "Tu");
    CheckWednesday = Captioned<QCheckBox>(Panel6, "CheckWednesday", "We");
    CheckThursday = Captioned<QCheckBox>(Panel6, "CheckThursday", "Th");
    CheckFriday = Captioned<QCheckBox>(Panel6, "CheckFriday", "Fr");
    CheckSaturday = Captioned<QCheckBox>(Panel6, "CheckSaturday", "Sa");
    CheckSunday = Captioned<QCheckBox>(Panel6, "CheckSunday", "Su");
    Label4 = Captioned<QLabel>(Panel6, "Label4", "Start time");
    PickerTime = Named<QTimeEdit>(Panel6, "PickerTime");
    PickerTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    Label5 = Captioned<QLabel>(Panel6, "Label5", "Last started on");
    EditDateTime_LastExecuted = Named<QLineEdit>(Panel6, "EditDateTime_LastExecuted");
    EditDateTime_LastExecuted->setReadOnly(true);
    Button1 = button(Panel6, "Button1", "Reset");

    Panel5 = group(PanelMain, "Panel5");
    Label3 = Captioned<QLabel>(Panel5, "Label3", "Task name");
    EditTaskName = Named<QLineEdit>(Panel5, "EditTaskName");
    Label1 = Captioned<QLabel>(Panel5, "Label1", "Program location");
    EditTaskFileName = Named<QLineEdit>(Panel5, "EditTaskFileName");
    ButtonFile = button(Panel5, "ButtonFile", "...");
    Label2 = Captioned<QLabel>(Panel5, "Label2", "Program parameters");
    EditTaskParameters = Named<QLineEdit>(Panel5, "EditTaskParameters");

    CheckActive = Captioned<QCheckBox>(PanelMain, "CheckActive", "Active");

    // Settings beyond the schedule share one group below it.
    GroupBoxOptions = Named<QGroupBox>(PanelMain, "GroupBoxOptions");
    GroupBoxOptions->setTitle(QStringLiteral("&Options"));
    CheckCatchUp = Captioned<QCheckBox>(GroupBoxOptions, "CheckCatchUp",
                                        "Run as soon as possible after a missed start");
    auto* options = new QGridLayout(GroupBoxOptions);
    options->addWidget(CheckCatchUp, 0, 0, 1, 3);
    CheckTimeLimit = Captioned<QCheckBox>(GroupBoxOptions, "CheckTimeLimit",
                                          "Stop the task if it runs longer than");
    EditTimeLimit = Named<QSpinBox>(GroupBoxOptions, "EditTimeLimit");
    EditTimeLimit->setRange(1, 525600);
    EditTimeLimit->setValue(60);
    LabelTimeLimitUnit = Captioned<QLabel>(GroupBoxOptions, "LabelTimeLimitUnit", "minutes");
    auto* limitRow = new QHBoxLayout;
    limitRow->addWidget(CheckTimeLimit);
    limitRow->addWidget(EditTimeLimit);
    limitRow->addWidget(LabelTimeLimitUnit);
    limitRow->addStretch(1);
    options->addLayout(limitRow, 1, 0, 1, 3);
    LabelStartIn = Captioned<QLabel>(GroupBoxOptions, "LabelStartIn", "Start &in");
    EditStartIn = Named<QLineEdit>(GroupBoxOptions, "EditStartIn");
    EditStartIn->setPlaceholderText(QStringLiteral("the scheduler's own folder"));
    ButtonStartIn = button(GroupBoxOptions, "ButtonStartIn", "...");
    options->addWidget(LabelStartIn, 2, 0);
    options->addWidget(EditStartIn, 2, 1);
    options->addWidget(ButtonStartIn, 2, 2);
    EditTimeLimit->setEnabled(false);
    connect(CheckTimeLimit, &QCheckBox::toggled, EditTimeLimit, &QWidget::setEnabled);

    // A screen reader names a field after its label, and the pickers and
    // boxes without a label of their own by these. The label's access key
    // (Alt and its underlined letter) goes to its field.
    Label4->setBuddy(PickerTime);
    Label5->setBuddy(EditDateTime_LastExecuted);
    Label3->setBuddy(EditTaskName);
    Label1->setBuddy(EditTaskFileName);
    Label2->setBuddy(EditTaskParameters);
    LabelStartIn->setBuddy(EditStartIn);
    EditTimeLimit->setAccessibleName(QStringLiteral("Time limit in minutes"));
    PickerDate->setAccessibleName(QStringLiteral("Start date"));
    ButtonFile->setAccessibleName(QStringLiteral("Choose the program file"));
    Button1->setAccessibleName(QStringLiteral("Reset last started on"));
    ButtonStartIn->setAccessibleName(QStringLiteral("Choose the folder to start in"));
    const std::pair<QCheckBox*, const char*> weekdays[] = {
        {CheckMonday, "Monday"},     {CheckTuesday, "Tuesday"}, {CheckWednesday, "Wednesday"},
        {CheckThursday, "Thursday"}, {CheckFriday, "Friday"},   {CheckSaturday, "Saturday"},
        {CheckSunday, "Sunday"}};
    for (const auto& [box, day] : weekdays)
        box->setAccessibleName(QString::fromLatin1(day));

    // Drawn like a tool tip, over the controls below the name box.
    LabelNameHint = Captioned<QLabel>(
        this, "LabelNameHint", "A task name takes only letters A-Z, digits, \".\" and \"_\".");
    LabelNameHint->setForegroundRole(QPalette::ToolTipText);
    LabelNameHint->setBackgroundRole(QPalette::ToolTipBase);
    LabelNameHint->setAutoFillBackground(true);
    LabelNameHint->setFrameStyle(QFrame::Box | QFrame::Plain);
    LabelNameHint->setMargin(2);
    LabelNameHint->adjustSize();
    LabelNameHint->hide();
    NameHintTimer = new QTimer(this);
    NameHintTimer->setObjectName(QStringLiteral("NameHintTimer"));
    NameHintTimer->setSingleShot(true);
    NameHintTimer->setInterval(4000);
    connect(NameHintTimer, &QTimer::timeout, LabelNameHint, &QWidget::hide);

    connect(ButtonSave, &QPushButton::clicked, this,
            [this] { ui::Guarded(this, [this] { ButtonSaveClick(); }); });
    connect(ButtonCancel, &QPushButton::clicked, this,
            [this] { ui::Guarded(this, [this] { ButtonCancelClick(); }); });
    connect(Button1, &QPushButton::clicked, this,
            [this] { ui::Guarded(this, [this] { Button1Click(); }); });
    connect(ButtonFile, &QPushButton::clicked, this,
            [this] { ui::Guarded(this, [this] { ButtonFileClick(); }); });
    connect(ButtonStartIn, &QPushButton::clicked, this,
            [this] { ui::Guarded(this, [this] { ButtonStartInClick(); }); });
    // Only the user's clicks select "Weekly": filling the boxes from the task
    // changes their state without a click and keeps the task's own frequency.
    for (QCheckBox* day : WeekdayBoxes())
        connect(day, &QCheckBox::clicked, this,
                [this] { ui::Guarded(this, [this] { CheckMondayClick(); }); });

    // Composed characters would arrive as input-method text, past the key
    // filter: the name box takes plain keys only.
    EditTaskName->setAttribute(Qt::WA_InputMethodEnabled, false);
    EditTaskName->installEventFilter(this);
    PickerDate->installEventFilter(this);
    // The date text is a child of the picker and receives the clicks on it.
    for (QWidget* child : PickerDate->findChildren<QWidget*>())
        child->installEventFilter(this);
}

int TFormTaskEdit::Px(int designPixels) const {
    return ui::ScaledPixels(designPixels, FScale);
}

void TFormTaskEdit::PlaceControls() {
    // Every caption fits the room the design gives it.
    ui::TDesignScale scale(font());
    scale.Fit(Label3->sizeHint().width(), 116);
    scale.Fit(Label1->sizeHint().width(), 116);
    scale.Fit(Label2->sizeHint().width(), 116);
    scale.Fit(Label4->sizeHint().width(), 52);
    scale.Fit(Label5->sizeHint().width(), 100);
    for (QRadioButton* r : {RadioOne_Shot, RadioDaily, RadioWeekly})
        scale.Fit(r->sizeHint().width(), 113);
    for (QCheckBox* c : WeekdayBoxes())
        scale.Fit(c->sizeHint().width(), 35);
    scale.Fit(CheckActive->sizeHint().width(), 57);
    scale.Fit(PickerDate->sizeHint().width(), 203);
    scale.Fit(PickerTime->sizeHint().width(), 105);
    scale.Fit(EditTaskName->sizeHint().height(), 21);
    scale.Fit(PickerDate->sizeHint().height(), 21);
    scale.FitText(ButtonSave->text().remove(QLatin1Char('&')), 75);
    scale.FitText(ButtonCancel->text().remove(QLatin1Char('&')), 75);
    scale.FitText(Button1->text().remove(QLatin1Char('&')), 39);
    scale.FitText(ButtonFile->text(), 22);
    FScale = scale.Factor();

    const auto place = [this](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(Px(left), Px(top), Px(width), Px(height));
    };
    // Labels size themselves to their caption.
    const auto at = [this](QLabel* l, int left, int top) {
        l->move(Px(left), Px(top));
        l->resize(l->sizeHint());
    };

    PanelBottom->setFixedHeight(Px(39));
    // Save at 529, Cancel at 617, each 75 by 25, 8 from the top, and 10 to
    // the right of Cancel in a window as wide as the design.
    ButtonSave->setFixedSize(Px(75), Px(25));
    ButtonCancel->setFixedSize(Px(75), Px(25));
    auto* buttons = static_cast<QHBoxLayout*>(PanelBottom->layout());
    buttons->setContentsMargins(0, Px(8), Px(10), Px(39 - 8 - 25));
    buttons->setSpacing(Px(617 - 529 - 75));

    place(Panel6, 24, 24, 657, 169);
    place(RadioOne_Shot, 16, 24, 113, 17);
    place(PickerDate, 150, 21, 203, 21);
    place(RadioDaily, 16, 48, 113, 25);
    place(RadioWeekly, 16, 80, 113, 17);
    const int dayLeft[] = {152, 200, 240, 288, 336, 376, 424};
    const auto days = WeekdayBoxes();
    for (std::size_t i = 0; i < days.size(); ++i)
        place(days[i], dayLeft[i], 80, 35, 17);
    at(Label4, 16, 124);
    place(PickerTime, 72, 121, 105, 21);
    at(Label5, 248, 124);
    place(EditDateTime_LastExecuted, 352, 120, 121, 21);
    place(Button1, 464, 120, 39, 22);

    place(Panel5, 24, 208, 657, 129);
    at(Label3, 16, 28);
    place(EditTaskName, 136, 24, 497, 21);
    at(Label1, 16, 57);
    place(EditTaskFileName, 136, 54, 475, 21);
    place(ButtonFile, 610, 55, 22, 21);
    at(Label2, 16, 88);
    place(EditTaskParameters, 136, 84, 497, 21);

    place(CheckActive, 40, 350, 57, 17);
    // Below the design, as wide as its groups.
    GroupBoxOptions->move(Px(24), Px(380));
    GroupBoxOptions->resize(Px(657), GroupBoxOptions->sizeHint().height());
}

std::array<QCheckBox*, 7> TFormTaskEdit::WeekdayBoxes() const {
    return {CheckMonday, CheckTuesday,  CheckWednesday, CheckThursday,
            CheckFriday, CheckSaturday, CheckSunday};
}

void TFormTaskEdit::SetTabOrder() {
    // The buttons, the task's fields, then the schedule; the settings that
    // came after the design follow its last control.
    QWidget* const order[] = {ButtonSave,
                              ButtonCancel,
                              EditTaskName,
                              EditTaskFileName,
                              ButtonFile,
                              EditTaskParameters,
                              RadioWeekly,
                              RadioOne_Shot,
                              RadioDaily,
                              PickerDate,
                              PickerTime,
                              CheckMonday,
                              CheckTuesday,
                              CheckWednesday,
                              CheckThursday,
                              CheckFriday,
                              CheckSaturday,
                              CheckSunday,
                              EditDateTime_LastExecuted,
                              Button1,
                              CheckActive,
                              CheckCatchUp,
                              CheckTimeLimit,
                              EditTimeLimit,
                              EditStartIn,
                              ButtonStartIn};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TFormTaskEdit::done(int result) {
    // Every way of closing passes here (Save, Cancel, the close box), and the
    // working task always receives what the controls show.
    ui::Guarded(this, [this] { ControlsToTask(); });
    QDialog::done(result);
}

void TFormTaskEdit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once only: a window system's own show (after minimising) must not
    // overwrite the user's edits.
    if (FShown || event->spontaneous())
        return;
    FShown = true;
    ui::Guarded(this, [this] { FormShow(); });
}

void TFormTaskEdit::keyPressEvent(QKeyEvent* event) {
    // Neither button is the default or the cancel button.
    const int key = event->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter ||
        event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFormTaskEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditTaskName && event->type() == QEvent::KeyPress) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        const bool accepted = EditTaskNameKeyPress(key);
        // A refused character says why; the next character typed takes the
        // hint away. Keys that type nothing leave it as it is.
        const QString text = key.text();
        const bool typesText =
            key.key() == Qt::Key_Backspace ||
            (!text.isEmpty() &&
             std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); }) &&
             (key.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) == 0);
        if (typesText)
            ShowNameHint(!accepted);
        return !accepted;
    }
    if (watched == EditTaskName && event->type() == QEvent::InputMethod) {
        const QString text = static_cast<QInputMethodEvent*>(event)->commitString();
        const bool accepted = std::all_of(text.begin(), text.end(), IsNameCharacter);
        if (!text.isEmpty())
            ShowNameHint(!accepted);
        return !accepted;
    }
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == PickerDate ||
         (watched->isWidgetType() && PickerDate->isAncestorOf(static_cast<QWidget*>(watched)))))
        ui::Guarded(this, [this] { PickerDateClick(); });
    return QDialog::eventFilter(watched, event);
}

void TFormTaskEdit::FormShow() {
    TaskToControls();
    const int clientWidth = Px(617 + 75 + 10);
    const int mainHeight = GroupBoxOptions->y() + GroupBoxOptions->height() + Px(12);
    PanelMain->setFixedSize(clientWidth, mainHeight);
    const int clientHeight = mainHeight + PanelBottom->height();
    // Small enough for any screen, large enough for Save, Cancel and a
    // line of the controls.
    setMinimumSize(PanelBottom->layout()->minimumSize().width(), PanelBottom->height() + Px(60));
    QSize size(clientWidth, clientHeight);
    if (const QScreen* s = screen()) {
        // Within the screen's free area, the frame and title bar included
        // (known once the window is shown; the style's guess before).
        const QRect area = s->availableGeometry();
        QSize frame = frameGeometry().size() - geometry().size();
        if (frame.isEmpty())
            frame = QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
        size = size.boundedTo(area.size() - frame).expandedTo(minimumSize());
        resize(size);
        const QSize outer = size + frame;
        move(std::max(area.x(), area.x() + (area.width() - outer.width()) / 2),
             std::max(area.y(), area.y() + (area.height() - outer.height()) / 2));
    } else {
        resize(size);
    }
    EditTaskName->setFocus(Qt::OtherFocusReason);
}

void TFormTaskEdit::ButtonSaveClick() {
    if (ValidateInput())
        accept();
}

void TFormTaskEdit::ButtonCancelClick() {
    reject();
}

bool TFormTaskEdit::EditTaskNameKeyPress(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    // Types nothing, though X11 and Wayland keyboards give it the text "\x7f".
    case Qt::Key_Delete:
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    // Control combinations of character keys (paste, cut, select all, ...)
    // would bring in text that the filter never saw.
    const bool control = (key.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0;
    if (control && key.key() < Qt::Key_Escape)
        return false;
    // Keys that produce no character (Delete, the arrows, Home, ...) pass.
    const QString text = key.text();
    return std::all_of(text.begin(), text.end(), IsNameCharacter);
}

void TFormTaskEdit::ShowNameHint(bool show) {
    if (!show) {
        NameHintTimer->stop();
        LabelNameHint->hide();
        return;
    }
    LabelNameHint->adjustSize();
    LabelNameHint->move(EditTaskName->mapTo(this, QPoint(0, EditTaskName->height() + 1)));
    LabelNameHint->raise();
    LabelNameHint->show();
    NameHintTimer->start();
}

void TFormTaskEdit::CheckMondayClick() {
    SetOption(RadioWeekly, true);
}

void TFormTaskEdit::PickerDateClick() {
    SetOption(RadioOne_Shot, true);
}

void TFormTaskEdit::Button1Click() {
    FTask->ResetLastExecuted();
    EditDateTime_LastExecuted->setText(ui::ToQString(FTask->LastExecutedText()));
}

void TFormTaskEdit::ButtonStartInClick() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Start in"), ui::DialogPath(ui::ToStdString(EditStartIn->text())));
    if (!chosen.isEmpty())
        EditStartIn->setText(ui::ToQString(ui::ChosenPath(chosen)));
}

void TFormTaskEdit::ButtonFileClick() {
    if (!OpenDialog1) {
        OpenDialog1 = new QFileDialog(this);
        OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    }
    OpenDialog1->selectFile(ui::DialogPath(ui::ToStdString(EditTaskFileName->text())));
    if (OpenDialog1->exec() != QDialog::Accepted)
        return;
    const QStringList files = OpenDialog1->selectedFiles();
    if (!files.isEmpty())
        EditTaskFileName->setText(ui::ToQString(
            ui::ChosenPath(QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()))));
}

void TFormTaskEdit::SetOption(QRadioButton* radio, bool selected) {
    if (selected) {
        radio->setChecked(true); // the group clears the others
    } else if (radio->isChecked()) {
        // An exclusive group refuses to clear its selected button.
        Options->setExclusive(false);
        radio->setChecked(false);
        Options->setExclusive(true);
    }
}

void TFormTaskEdit::TaskToControls() {
    const TQMTask& task = *FTask;
    PickerTime->setTime(ui::ToQTime(task.TimePart()));
    const QDate date = ui::ToQDate(task.DatePart());
    if (date.isValid())
        PickerDate->setDate(date);
    // The last set one of daily, weekly and once at date wins.
    SetOption(RadioDaily, task.Daily);
    SetOption(RadioWeekly, task.Weekly);
    SetOption(RadioOne_Shot, task.OneShot);
    CheckMonday->setChecked(task.Monday);
    CheckTuesday->setChecked(task.Tuesday);
    CheckWednesday->setChecked(task.Wednesday);
    CheckThursday->setChecked(task.Thursday);
    CheckFriday->setChecked(task.Friday);
    CheckSaturday->setChecked(task.Saturday);
    CheckSunday->setChecked(task.Sunday);
    CheckActive->setChecked(task.Active);
    CheckCatchUp->setChecked(task.CatchUp);
    EditTaskFileName->setText(ui::ToQString(task.TaskFileName));
    EditTaskParameters->setText(ui::ToQString(task.TaskParameters));
    EditTaskName->setText(ui::ToQString(task.TaskName));
    EditDateTime_LastExecuted->setText(ui::ToQString(task.LastExecutedText()));
    CheckTimeLimit->setChecked(task.TimeLimitMinutes > 0);
    if (task.TimeLimitMinutes > 0)
        EditTimeLimit->setValue(task.TimeLimitMinutes);
    EditStartIn->setText(ui::ToQString(task.StartIn));
}

void TFormTaskEdit::ControlsToTask() {
    TQMTask& task = *FTask;
    // The start date is kept for every frequency, not only for "Once at date".
    task.SetDateAndTime(ui::FromQDate(PickerDate->date()), ui::FromQTime(PickerTime->time()));
    task.Daily = RadioDaily->isChecked();
    task.Weekly = RadioWeekly->isChecked();
    task.OneShot = RadioOne_Shot->isChecked();
    task.Monday = CheckMonday->isChecked();
    task.Tuesday = CheckTuesday->isChecked();
    task.Wednesday = CheckWednesday->isChecked();
    task.Thursday = CheckThursday->isChecked();
    task.Friday = CheckFriday->isChecked();
    task.Saturday = CheckSaturday->isChecked();
    task.Sunday = CheckSunday->isChecked();
    task.Active = CheckActive->isChecked();
    task.CatchUp = CheckCatchUp->isChecked();
    // Lossless: bytes that are no UTF-8 come back as they were stored.
    task.TaskFileName = ui::ToStdString(EditTaskFileName->text());
    task.TaskParameters = ui::ToStdString(EditTaskParameters->text());
    task.TaskName = ui::ToStdString(EditTaskName->text());
    task.TimeLimitMinutes = CheckTimeLimit->isChecked() ? EditTimeLimit->value() : 0;
    task.StartIn = ui::ToStdString(EditStartIn->text().trimmed());
}

bool TFormTaskEdit::ValidateInput() {
    if (IsBlank(EditTaskName->text())) {
        ui::ShowMessage(this, QStringLiteral("Task name is empty"));
        return false;
    }
    if (IsBlank(EditTaskFileName->text())) {
        ui::ShowMessage(this, QStringLiteral("Program location is empty"));
        return false;
    }
    const std::string startIn = ui::ToStdString(EditStartIn->text().trimmed());
    if (!startIn.empty() && !platform::DirectoryExists(startIn)) {
        ui::ShowMessage(this,
                        QStringLiteral("Start in folder not found: ") + ui::ToDisplayText(startIn));
        return false;
    }
    if (RadioOne_Shot->isChecked() || RadioDaily->isChecked() || RadioWeekly->isChecked())
        return true;
    ui::ShowMessage(this, QStringLiteral("No period has been selected"));
    return false;
}
