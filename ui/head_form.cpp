#include "ui/head_form.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <iostream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "devices/messages.h"
#include "protocol/frames.h"
#include "ui/chart_menu.h"
#include "ui/design_scale.h"
#include "ui_Main.h"

namespace rs485 {

namespace {

constexpr int kStatusHeight = 19;
constexpr int kScaleNumerator = 9;
constexpr int kScaleDenominator = 10;

// Tooltip of a port name that names no device now.
QString noDeviceTip() { return QStringLiteral("нет устройства"); }

int primaryScreenWidth() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().width() : THeadForm::kSmallScreenWidth;
}

bool isMouseInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

bool isNavigationOrEditKey(int key) {
  return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Delete;
}

bool isLeftRelease(const QEvent* event) {
  return event->type() == QEvent::MouseButtonRelease &&
         static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

// Parts that the platform would give a font of their class take their
// control's font instead, and the rows are as high as it needs.
void followFonts(QStatusBar* status, QLabel* statusText, QTableWidget* list) {
  statusText->setFont(status->font());
  list->horizontalHeader()->setFont(list->font());
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
}

}  // namespace

THeadForm::THeadForm(PortNames names, DeviceOpener opener, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::THeadForm>()),
      session_(exchange_, std::move(names), std::move(opener)),
      screenWidth_(primaryScreenWidth) {
  useFontStandIns();
  ui_->setupUi(this);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  setUpControls();
  setUpTimers();
  errorBox_ = [this](const QString& text) {
    QMessageBox box(QMessageBox::Critical, msg::errorCaption(), text, QMessageBox::Ok, this);
    box.exec();
  };
  connectEngine();
  bindHandlers();
  refreshPortTooltips();
}

void THeadForm::setUpControls() {
  statusText_ = new QLabel(msg::openPortPrompt(), ui_->Status);
  statusText_->setObjectName(QStringLiteral("StatusText"));
  ui_->Status->addWidget(statusText_, 1);
  ui_->Status->setFixedHeight(kStatusHeight);

  applyDesignFonts(this);
  setClientSize(kClientWidth, kClientHeight);

  ui_->UpDown->setAssociate(ui_->Timeouts);

  // One column of fixed width; the selection stays visible when the list
  // has no focus.
  QHeaderView* header = ui_->ListAdress->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setMaximumSectionSize(header->minimumSectionSize());
  header->resizeSection(0, header->minimumSectionSize());
  QPalette listPalette = ui_->ListAdress->palette();
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    listPalette.setColor(QPalette::Inactive, role, listPalette.color(QPalette::Active, role));
  }
  ui_->ListAdress->setPalette(listPalette);
  followFonts(ui_->Status, statusText_, ui_->ListAdress);

  for (const auto& [cell, name] : kDigitCells) {
    displayCells_[digitCellIndex(cell)] = findChild<QLineEdit*>(QString::fromLatin1(name));
  }
}

void THeadForm::setUpTimers() {
  // A coarse timer may fire 5% early or late, which would break the scan pace.
  readTimer.setObjectName(QStringLiteral("readTimer"));
  readTimer.setInterval(kPollInterval);  // as designed; the scan and the poll set their own
  readTimer.setTimerType(Qt::PreciseTimer);
  dotTimer.setObjectName(QStringLiteral("dotTimer"));
  dotTimer.setInterval(kDotInterval);
  dotTimer.setTimerType(Qt::PreciseTimer);
}

void THeadForm::connectEngine() {
  exchange_.setListener({
      .sent = [this](const BusRequest& request) { health_.sent(request.address); },
      .reply = [this](const BusReply& reply) { replied(reply); },
      .dropped = [this](const BusRequest& request, BusReply::Why) { health_.dropped(request.address); },
      .unasked = [this](int address) { health_.unasked(address); },
      .writeFailed = [this] { showSendFailed(); },
      .writeResumed = [this] { clearSendFailed(); },
      .requestWritten = {},
  });
}

THeadForm::~THeadForm() = default;

void THeadForm::bindHandlers() {
  const auto on = [this](auto* sender, auto signal, ClickHandler handler) {
    connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
  };
  on(ui_->OpenClose, &QPushButton::clicked, &THeadForm::OpenCloseClick);
  on(ui_->Find, &QPushButton::clicked, &THeadForm::FindClick);
  on(ui_->InstallAdress, &QPushButton::clicked, &THeadForm::InstallAdressClick);
  on(ui_->readingAll, &QPushButton::clicked, &THeadForm::readingAllClick);
  // clicked, not toggled: unticking it from the code is no click.
  on(ui_->wFile, &QCheckBox::clicked, &THeadForm::wFileClick);
  on(&readTimer, &QTimer::timeout, &THeadForm::readTimerTimer);
  on(&dotTimer, &QTimer::timeout, &THeadForm::dotTimerTimer);

  bindCell(ui_->Timeouts, {.click = nullptr, .keyPress = &THeadForm::TimeoutsKeyPress, .display = false});
  bindCell(ui_->n1_addr,
           {.click = &THeadForm::n1_addrClick, .keyPress = &THeadForm::n1_addrKeyPress, .display = false});
  bindCell(ui_->n2_addr,
           {.click = &THeadForm::n2_addrClick, .keyPress = &THeadForm::n2_addrKeyPress, .display = false});
  bindCell(ui_->n3_addr,
           {.click = &THeadForm::n3_addrClick, .keyPress = &THeadForm::n3_addrKeyPress, .display = false});
  bindCell(ui_->new1,
           {.click = &THeadForm::new1Click, .keyPress = &THeadForm::new1KeyPress, .display = false});
  bindCell(ui_->new2,
           {.click = &THeadForm::new2Click, .keyPress = &THeadForm::new2KeyPress, .display = false});
  bindCell(ui_->new3,
           {.click = &THeadForm::new3Click, .keyPress = &THeadForm::new3KeyPress, .display = false});
  for (QLineEdit* cell : displayCells_) {
    bindCell(cell, {.click = &THeadForm::displayCellClick,
                    .keyPress = &THeadForm::displayCellKeyPress,
                    .display = true});
  }

  // A click anywhere in the list, on a row or below the rows.
  ui_->ListAdress->viewport()->installEventFilter(this);
  installChartMenu(ui_->ListAdress, [this](int address) { return bus_.recording.filePath(address); });
  // The tooltips follow the devices plugged in or out since the start.
  ui_->Ports->installEventFilter(this);
  connect(ui_->Ports, &QComboBox::currentIndexChanged, this, [this] { refreshPortTooltips(); });
}

void THeadForm::bindCell(QLineEdit* cell, CellHandlers handlers) {
  cellHandlers_[cell] = handlers;
  cell->installEventFilter(this);
}

bool THeadForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->ListAdress->viewport()) return filterListEvent(event);
  if (watched == ui_->Ports) {
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress || type == QEvent::ToolTip) {
      refreshPortTooltips();
    }
    return false;
  }
  const auto found = cellHandlers_.find(watched);
  if (found == cellHandlers_.end()) return QMainWindow::eventFilter(watched, event);
  return filterCellEvent(static_cast<QLineEdit*>(watched), found->second, event);
}

bool THeadForm::filterListEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) return showDeviceToolTip(static_cast<QHelpEvent*>(event));
  // A disabled list takes no click (the filter sees its events all the same).
  if (!ui_->ListAdress->isEnabled()) return false;
  // A press on the empty part below the rows leaves no row selected.
  if (event->type() == QEvent::MouseButtonPress &&
      !ui_->ListAdress->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid()) {
    ui_->ListAdress->clearSelection();
  }
  if (isLeftRelease(event)) guarded([this] { ListAdressClick(); });
  return false;
}

bool THeadForm::filterCellEvent(QLineEdit* cell, const CellHandlers& handlers, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const QString text = keyEvent->text();
    // Tab moves the focus and Delete edits: neither is a typed character,
    // so neither reaches a key handler.
    if (!handlers.display && isNavigationOrEditKey(keyEvent->key())) return false;
    if (handlers.keyPress != nullptr && !text.isEmpty()) {
      QChar key = text.front();
      focusAfterKey_ = nullptr;
      guarded([this, &handlers, &key] { (this->*handlers.keyPress)(key); });
      if (key.isNull()) return true;
      if (QWidget* next = std::exchange(focusAfterKey_, nullptr)) {
        // The editor takes the digit first, then the focus moves on.
        cell->event(event);
        next->setFocus(Qt::TabFocusReason);
        return true;
      }
    }
    return handlers.display;
  }
  if (event->type() == QEvent::FocusIn && !handlers.display && handlers.click != nullptr) {
    // Entered by the keyboard or a focus change: the text is selected, so
    // that the next digit replaces it.
    cell->event(event);
    cell->selectAll();
    return true;
  }
  if (isLeftRelease(event) && handlers.click != nullptr) {
    guarded([this, &handlers] { (this->*handlers.click)(); });
  }
  if (handlers.display && (isMouseInput(event->type()) || event->type() == QEvent::KeyRelease)) return true;
  return false;
}

void THeadForm::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    showError(QString::fromUtf8(error.what()), FocusTarget::None);
  } catch (...) {
    showError(QString(), FocusTarget::None);
  }
}

QString THeadForm::statusText() const { return statusText_->text(); }

int THeadForm::timeoutsValue() const { return ui_->Timeouts->text().toInt(); }

QString THeadForm::cellText(DigitCell cell) const { return displayCell(cell)->text(); }

bool THeadForm::dotVisible() const { return !ui_->dot->isHidden(); }

void THeadForm::setClientSize(int width, int height) {
  const int clampedWidth = std::clamp(width, kMinOuterWidth - kFrameWidth, kMaxOuterWidth - kFrameWidth);
  const int clampedHeight =
      std::clamp(height, kMinOuterHeight - kFrameHeight, kMaxOuterHeight - kFrameHeight);
  setFixedSize(clampedWidth, clampedHeight);
}

void THeadForm::refreshPortTooltips() {
  QComboBox* ports = ui_->Ports;
  for (int i = 0; i < ports->count(); ++i) {
    const auto path = session_.names().resolve(ports->itemText(i).toStdString());
    ports->setItemData(i, path ? QString::fromStdString(*path) : noDeviceTip(), Qt::ToolTipRole);
  }
  ports->setToolTip(ports->currentData(Qt::ToolTipRole).toString());
}

void THeadForm::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->geometry();
      move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    FormShow();
  }
  QMainWindow::showEvent(event);
}

// Screens narrower than 1280 pixels get the whole layout at 9/10, the window
// keeping its top-left corner, then an outer width of 792.
void THeadForm::FormShow() {
  if (screenWidth_() >= kSmallScreenWidth) return;
  const auto scaled = [](int length) { return scaleLength(length, kScaleNumerator, kScaleDenominator); };
  scaleControls(ui_->ClientArea, kScaleNumerator, kScaleDenominator);
  applyDesignFonts(this, kScaleNumerator, kScaleDenominator);
  ui_->Status->setFixedHeight(scaled(kStatusHeight));
  setClientSize(scaled(width()), scaled(height()));
  setClientSize(kSmallOuterWidth - kFrameWidth, height());

  // Each of maximum, minimum and width times 0.9, truncated: 194 gives 174.
  const auto narrowed = [](int length) { return length * kScaleNumerator / kScaleDenominator; };
  // Taken before any is set: a lower maximum would already clamp the width.
  QHeaderView* header = ui_->ListAdress->horizontalHeader();
  const int maximum = narrowed(header->maximumSectionSize());
  const int minimum = narrowed(header->minimumSectionSize());
  std::vector<int> widths;
  for (int column = 0; column < header->count(); ++column)
    widths.push_back(narrowed(header->sectionSize(column)));
  header->setMaximumSectionSize(maximum);
  header->setMinimumSectionSize(minimum);
  for (int column = 0; column < header->count(); ++column) {
    header->resizeSection(column, widths[static_cast<std::size_t>(column)]);
  }
  followFonts(ui_->Status, statusText_, ui_->ListAdress);
}

void THeadForm::initialAll() {
  for (const auto& entry : kDigitCells) displayCell(entry.cell)->setText(QStringLiteral("0"));
  setSetpointGroupsEnabled(false);
}

void THeadForm::enDisPanel(bool enable) {
  ui_->InstallPort->setEnabled(enable);
  ui_->Timeouts->setEnabled(enable);
  ui_->UpDown->setEnabled(enable);
  ui_->Find->setEnabled(enable);
  ui_->new1->setEnabled(enable);
  ui_->new2->setEnabled(enable);
  ui_->new3->setEnabled(enable);
  ui_->n1_addr->setReadOnly(!enable);
  ui_->n2_addr->setReadOnly(!enable);
  ui_->n3_addr->setReadOnly(!enable);
  ui_->InstallAdress->setEnabled(enable);
}

void THeadForm::OpenCloseClick() {
  if (ui_->OpenClose->text() == msg::openCaption()) {
    openPort(*this, *this, session_, ui_->Ports->currentText(), std::cerr);
  } else {
    closePort(*this, *this, session_, bus_.state);
  }
  if (session_.isOpen()) health_.reset();  // figures since the port was opened
}

bool THeadForm::showDeviceToolTip(QHelpEvent* event) {
  const int row = ui_->ListAdress->indexAt(event->pos()).row();
  const auto& found = bus_.state.FoundDevices;
  if (row < 0 || static_cast<std::size_t>(row) >= found.size()) return false;
  QToolTip::showText(event->globalPos(), health_.toolTip(found[static_cast<std::size_t>(row)].address),
                     ui_->ListAdress->viewport());
  return true;
}

// Timeouts is read-only and changed only through UpDown; of the keys typed
// at it only the digits, Backspace and Enter get through.
void THeadForm::TimeoutsKeyPress(QChar& key) {
  const bool passes = (key >= u'0' && key <= u'9') || key == QChar(kBackspaceKey) || key == QChar(kEnterKey);
  if (!passes) key = QChar();
}

// A control's caption says what its click does: "Поиск" starts the scan,
// "[Стоп]" stops it; the same for the poll and the recording.
void THeadForm::FindClick() {
  if (ui_->Find->text() == msg::findCaption()) {
    bus_.startScan(timeoutsValue());
  } else {
    bus_.stopScan();
  }
}

void THeadForm::ListAdressClick() {
  const int row = selectedDeviceListRow();
  bus_.selectListed(row < 0 ? std::nullopt : std::optional(deviceListItemCaption(row)));
}

// A click selects the editor's whole text, so that the next digit replaces it.
void THeadForm::n1_addrClick() { ui_->n1_addr->selectAll(); }
void THeadForm::n2_addrClick() { ui_->n2_addr->selectAll(); }
void THeadForm::n3_addrClick() { ui_->n3_addr->selectAll(); }
void THeadForm::new1Click() { ui_->new1->selectAll(); }
void THeadForm::new2Click() { ui_->new2->selectAll(); }
void THeadForm::new3Click() { ui_->new3->selectAll(); }

void THeadForm::n1_addrKeyPress(QChar& key) { applyKeyVerdict(rs485::n1_addrKeyPress(key), key); }
void THeadForm::n2_addrKeyPress(QChar& key) { applyKeyVerdict(rs485::n2_addrKeyPress(key), key); }
void THeadForm::n3_addrKeyPress(QChar& key) { applyKeyVerdict(rs485::n3_addrKeyPress(key), key); }
void THeadForm::new1KeyPress(QChar& key) { applyKeyVerdict(rs485::new1KeyPress(key), key); }
void THeadForm::new2KeyPress(QChar& key) { applyKeyVerdict(rs485::new2KeyPress(key), key); }
void THeadForm::new3KeyPress(QChar& key) { applyKeyVerdict(rs485::new3KeyPress(key), key); }

void THeadForm::applyKeyVerdict(const KeyVerdict& verdict, QChar& key) {
  switch (verdict.action) {
    case KeyVerdict::Action::Discard:
      key = QChar();
      break;
    case KeyVerdict::Action::Pass:
      break;
    case KeyVerdict::Action::Accept:
      focusAfterKey_ = focusControl(verdict.focus);
      break;
  }
}

QWidget* THeadForm::focusControl(NextFocus focus) const {
  switch (focus) {
    case NextFocus::None:
      return nullptr;
    case NextFocus::n2_addr:
      return ui_->n2_addr;
    case NextFocus::n3_addr:
      return ui_->n3_addr;
    case NextFocus::readingAll:
      return ui_->readingAll;
    case NextFocus::new2:
      return ui_->new2;
    case NextFocus::new3:
      return ui_->new3;
    case NextFocus::InstallAdress:
      return ui_->InstallAdress;
  }
  return nullptr;
}

void THeadForm::InstallAdressClick() {
  const auto digits = [this](QString (THeadForm::*digit)(int) const) {
    return DigitTexts{(this->*digit)(0), (this->*digit)(1), (this->*digit)(2)};
  };
  bus_.changeAddress([&] { return composeAddress(*this, digits(&THeadForm::addressDigit)); },
                     [&] { return composeAddress(*this, digits(&THeadForm::newAddressDigit)); });
}

void THeadForm::readingAllClick() {
  if (ui_->readingAll->text() == msg::readingAllCaption()) {
    bus_.startPoll([this] {
      return composeAddress(*this, {addressDigit(0), addressDigit(1), addressDigit(2)});
    });
  } else {
    bus_.stopPoll();
  }
}

void THeadForm::wFileClick() {
  if (ui_->wFile->text() == msg::recordCaption()) {
    bus_.startRecording();
  } else {
    bus_.stopRecording();
  }
}

void THeadForm::replied(const BusReply& reply) {
  // The clock is read only for an answer.
  health_.count(reply, reply.answered() ? now_() : QDateTime());
  guarded([this, &reply] { bus_.replied(reply); });
}

ScanAnswer THeadForm::DialogLink::askMode() const {
  return form_.confirmDialog_ != nullptr ? form_.confirmDialog_->askMode() : ScanAnswer::AskAgain;
}

void THeadForm::DialogLink::setAskMode(ScanAnswer mode) {
  if (form_.confirmDialog_ != nullptr) form_.confirmDialog_->setAskMode(mode);
}

void THeadForm::DialogLink::ask(const QString& confirmText) {
  if (form_.confirmDialog_ != nullptr) form_.confirmDialog_->ask(confirmText);
}

void THeadForm::readTimerTimer() { bus_.readTimerTimer(); }

void THeadForm::dotTimerTimer() { bus_.dotTimerTimer(); }

void THeadForm::displayCellClick() {}

void THeadForm::displayCellKeyPress(QChar& key) { key = QChar(); }

// WindowView

void THeadForm::setStatus(const QString& text) {
  statusBeforeFailure_.reset();
  statusText_->setText(text);
}

// A failed write is retried until it goes out: once one does, the line works
// again, and the text the failure replaced comes back unless another has
// taken its place meanwhile.
void THeadForm::showSendFailed() {
  if (!statusBeforeFailure_) statusBeforeFailure_ = statusText_->text();
  statusText_->setText(msg::sendFailed());
}

void THeadForm::clearSendFailed() {
  if (statusBeforeFailure_ && statusText_->text() == msg::sendFailed())
    statusText_->setText(*statusBeforeFailure_);
  statusBeforeFailure_.reset();
}

void THeadForm::showError(const QString& text, FocusTarget focus) {
  errorBox_(text);
  switch (focus) {
    case FocusTarget::None:
      break;
    case FocusTarget::Find:
      ui_->Find->setFocus(Qt::OtherFocusReason);
      break;
    case FocusTarget::n1_addr:
      ui_->n1_addr->setFocus(Qt::OtherFocusReason);
      break;
    case FocusTarget::new1:
      ui_->new1->setFocus(Qt::OtherFocusReason);
      break;
  }
}

void THeadForm::setReadTimerInterval(int milliseconds) { readTimer.setInterval(milliseconds); }

void THeadForm::setReadTimerActive(bool active) {
  // Switching on a running timer leaves its period undisturbed.
  if (active) {
    if (!readTimer.isActive()) readTimer.start();
  } else {
    readTimer.stop();
  }
}

void THeadForm::setFindCaption(const QString& caption) { ui_->Find->setText(caption); }

void THeadForm::setTimeoutsEnabled(bool enabled) {
  ui_->Timeouts->setEnabled(enabled);
  ui_->UpDown->setEnabled(enabled);
}

void THeadForm::setOpenCloseEnabled(bool enabled) { ui_->OpenClose->setEnabled(enabled); }

void THeadForm::clearDeviceList() { ui_->ListAdress->setRowCount(0); }

void THeadForm::appendDeviceListItem(const QString& caption) {
  QTableWidget* list = ui_->ListAdress;
  const int row = list->rowCount();
  list->insertRow(row);
  auto* item = new QTableWidgetItem(caption);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  list->setItem(row, 0, item);
}

void THeadForm::setDeviceListEnabled(bool enabled) { ui_->ListAdress->setEnabled(enabled); }

int THeadForm::selectedDeviceListRow() const {
  const auto rows = ui_->ListAdress->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

QString THeadForm::deviceListItemCaption(int row) const {
  const QTableWidgetItem* item = ui_->ListAdress->item(row, 0);
  if (item == nullptr) throw std::out_of_range("no row " + std::to_string(row) + " in ListAdress");
  return item->text();
}

QLineEdit* THeadForm::addressCell(int index) const {
  switch (index) {
    case 0:
      return ui_->n1_addr;
    case 1:
      return ui_->n2_addr;
    case 2:
      return ui_->n3_addr;
    default:
      throw std::out_of_range("no address cell " + std::to_string(index));
  }
}

QLineEdit* THeadForm::newAddressCell(int index) const {
  switch (index) {
    case 0:
      return ui_->new1;
    case 1:
      return ui_->new2;
    case 2:
      return ui_->new3;
    default:
      throw std::out_of_range("no new-address cell " + std::to_string(index));
  }
}

QString THeadForm::addressDigit(int index) const { return addressCell(index)->text(); }

void THeadForm::setAddressDigit(int index, const QString& text) { addressCell(index)->setText(text); }

QString THeadForm::newAddressDigit(int index) const { return newAddressCell(index)->text(); }

// PortControls

void THeadForm::setPortsEnabled(bool enabled) { ui_->Ports->setEnabled(enabled); }

void THeadForm::setOpenCloseCaption(const QString& caption) { ui_->OpenClose->setText(caption); }

void THeadForm::setFindEnabled(bool enabled) { ui_->Find->setEnabled(enabled); }

void THeadForm::setPanelActionEnabled(bool enabled) { ui_->PanelAction->setEnabled(enabled); }

void THeadForm::setInstallAdressEnabled(bool enabled) { ui_->InstallAdress->setEnabled(enabled); }

void THeadForm::setAddressDigitsEnabled(bool enabled) {
  for (int i = 0; i < 3; ++i) addressCell(i)->setEnabled(enabled);
}

void THeadForm::setNewAddressDigitsEnabled(bool enabled) {
  for (int i = 0; i < 3; ++i) newAddressCell(i)->setEnabled(enabled);
}

void THeadForm::setNewAddressDigit(int index, const QString& text) { newAddressCell(index)->setText(text); }

// MonitorView

void THeadForm::setReadingAllCaption(const QString& caption) { ui_->readingAll->setText(caption); }

void THeadForm::setWFileCaption(const QString& caption) { ui_->wFile->setText(caption); }

void THeadForm::setWFileChecked(bool checked) { ui_->wFile->setChecked(checked); }

void THeadForm::setSetpointGroupsEnabled(bool enabled) {
  ui_->gb_temp->setEnabled(enabled);
  ui_->gb_time->setEnabled(enabled);
  ui_->gb_cycle->setEnabled(enabled);
}

QLineEdit* THeadForm::displayCell(DigitCell cell) const {
  const std::size_t index = digitCellIndex(cell);
  if (index >= displayCells_.size() || displayCells_[index] == nullptr) {
    throw std::invalid_argument("no digit cell " + std::to_string(static_cast<int>(cell)) +
                                " in the right panel");
  }
  return displayCells_[index];
}

void THeadForm::setCellText(DigitCell cell, const QString& text) { displayCell(cell)->setText(text); }

void THeadForm::setDotTimerActive(bool active) {
  if (active) {
    if (!dotTimer.isActive()) dotTimer.start();
  } else {
    dotTimer.stop();
  }
}

void THeadForm::setDotVisible(bool visible) { ui_->dot->setVisible(visible); }

}  // namespace rs485
