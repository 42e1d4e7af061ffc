#pragma once

#include <QString>
#include <QWidget>

class CReportCtrl;
class SystemLog;

// The bottom pane's system log: one list that follows the view's size and mirrors the log.
class CViewLogSys : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kListId = 1004;
    static inline const QString kColumnSpec = QStringLiteral("No, 60; Time, 140; Message, 605");

    explicit CViewLogSys(SystemLog& log, QWidget* parent = nullptr);

    // The view's initial update: the start-up lines.
    void InitialUpdate(const QString& hostAddress);
    // The File menu's and toolbar's Save Log and Open Log.
    void OnSaveLog();
    void OnOpenLog();

    SystemLog& Log() const { return log_; }
    CReportCtrl* List() const { return list_; }

  protected:
    // The Message column's tooltip: the whole text of the line under the pointer.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowRow(int row);
    void ShowAllRows();

    SystemLog& log_;
    CReportCtrl* list_;
};
