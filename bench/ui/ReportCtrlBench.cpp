// Appending log lines and sorting with CReportCtrl, against Qt's stock QTableWidget doing the
// same work in the same run. Run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

#include "ui/widgets/ReportCtrl.h"

namespace {

constexpr int kBatch = 500;  // rows appended per measured step

QString Message(int i) {
    return QString("Search reply from 127.0.0.%1 listed").arg(i % 250);
}

// Appends kBatch log lines (number, time, message; scrolled into view) to a list that already
// holds state.range(0) lines: the cost per line must not grow with the list.
void BM_ReportCtrlAppend(benchmark::State& state) {
    CReportCtrl list;
    list.resize(800, 300);
    list.ApplyColumnSpec("No, 60; Time, 140; Message, 605");
    list.show();
    for (int i = 0; i < state.range(0); ++i) list.InsertRow(i, QString::number(i + 1));
    QApplication::processEvents();
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            const int row = list.InsertRow(list.ItemCount(), QString::number(i + 1));
            list.SetCellText(row, 1, "2024-5-3--12-4-5 \r\n");
            list.SetCellText(row, 2, Message(i));
            list.EnsureRowVisible(row);
        }
        QApplication::processEvents();  // one repaint per batch, as the event loop would
        state.PauseTiming();
        list.DeleteRows(ReportRows::kAll);
        for (int i = 0; i < state.range(0); ++i) list.InsertRow(i, QString::number(i + 1));
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_QTableWidgetAppend(benchmark::State& state) {
    QTableWidget table(0, 3);
    table.resize(800, 300);
    table.verticalHeader()->hide();
    table.show();
    const auto fill = [&] {
        for (int i = 0; i < state.range(0); ++i) {
            table.insertRow(i);
            table.setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
        }
    };
    fill();
    QApplication::processEvents();
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            const int row = table.rowCount();
            table.insertRow(row);
            table.setItem(row, 0, new QTableWidgetItem(QString::number(i + 1)));
            table.setItem(row, 1, new QTableWidgetItem("2024-5-3--12-4-5 \r\n"));
            table.setItem(row, 2, new QTableWidgetItem(Message(i)));
            table.scrollToItem(table.item(row, 0));
        }
        QApplication::processEvents();
        state.PauseTiming();
        table.setRowCount(0);
        fill();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// Sorts state.range(0) rows by a column of decimal numbers (the hexadecimal rule applies).
void BM_ReportCtrlSort(benchmark::State& state) {
    CReportCtrl list;
    list.ApplyColumnSpec("No;Value");
    list.EnableHeaderSort(true);
    for (int i = 0; i < state.range(0); ++i) {
        list.InsertRow(i, QString::number(i));
        list.SetCellText(i, 1, QString::number((i * 7919) % 100003));
    }
    bool ascending = true;
    for (auto _ : state) {
        list.SortRows(1, ascending);
        ascending = !ascending;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_QTableWidgetSort(benchmark::State& state) {
    QTableWidget table(static_cast<int>(state.range(0)), 2);
    for (int i = 0; i < state.range(0); ++i) {
        table.setItem(i, 0, new QTableWidgetItem(QString::number(i)));
        table.setItem(i, 1, new QTableWidgetItem(QString::number((i * 7919) % 100003)));
    }
    bool ascending = true;
    for (auto _ : state) {
        table.sortItems(1, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        ascending = !ascending;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_ReportCtrlAppend)->Arg(0)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QTableWidgetAppend)->Arg(0)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReportCtrlSort)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QTableWidgetSort)->Arg(5000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
