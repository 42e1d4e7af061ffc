// Appends log lines to a list that already holds some, for counting instructions per line under
// callgrind (run-append.sh): `bench_report_append report|peer PREFILL APPENDS`.
// "report" is CReportCtrl, "peer" Qt's stock QTableWidget doing the same work.
#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>
#include <cstdlib>
#include <cstring>

#include "ui/widgets/ReportCtrl.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 300;
const char* const kTime = "2024-5-3--12-4-5 \r\n";

QString Message(int i) {
    return QString("Search reply from 127.0.0.%1 listed").arg(i % 250);
}

void RunReport(int prefill, int appends) {
    CReportCtrl list;
    list.resize(kWidth, kHeight);
    list.ApplyColumnSpec("No, 60; Time, 140; Message, 605");
    list.show();
    for (int i = 0; i < prefill; ++i) list.InsertRow(i, QString::number(i + 1));
    QApplication::processEvents();
    for (int i = 0; i < appends; ++i) {
        const int row = list.InsertRow(list.ItemCount(), QString::number(list.ItemCount() + 1));
        list.SetCellText(row, 1, kTime);
        list.SetCellText(row, 2, Message(i));
        list.EnsureRowVisible(row);
    }
    QApplication::processEvents();
}

void RunPeer(int prefill, int appends) {
    QTableWidget table(0, 3);
    table.resize(kWidth, kHeight);
    table.verticalHeader()->hide();
    table.show();
    for (int i = 0; i < prefill; ++i) {
        table.insertRow(i);
        table.setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
    }
    QApplication::processEvents();
    for (int i = 0; i < appends; ++i) {
        const int row = table.rowCount();
        table.insertRow(row);
        table.setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        table.setItem(row, 1, new QTableWidgetItem(kTime));
        table.setItem(row, 2, new QTableWidgetItem(Message(i)));
        table.scrollToItem(table.item(row, 0));
    }
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int prefill = std::atoi(argv[2]);
    const int appends = std::atoi(argv[3]);
    if (std::strcmp(argv[1], "peer") == 0)
        RunPeer(prefill, appends);
    else
        RunReport(prefill, appends);
    return 0;
}
