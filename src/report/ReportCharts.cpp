#include "report/ReportCharts.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPixmap>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vantrel::report {
namespace {

constexpr int kHistogramBins = 40;
const QColor kToleranceColour(200, 30, 30);

QPen TolerancePen() {
    QPen pen(kToleranceColour);
    pen.setWidth(2);
    pen.setStyle(Qt::DashLine);
    return pen;
}

// Renders the chart through a view of its own, as it would appear on screen.
bool Save(QChart* chart, const std::string& path) {
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundBrush(Qt::white);
    chart->setBackgroundRoundness(0);
    QChartView view(chart);  // takes the chart
    view.setRenderHint(QPainter::Antialiasing);
    view.setBackgroundBrush(Qt::white);
    view.setFrameShape(QFrame::NoFrame);
    view.resize(kPlotWidth, kPlotHeight);
    return view.grab().save(QString::fromStdString(path), "PNG");
}

QValueAxis* ValueAxis(const QString& title, double low, double high) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(low, high);
    return axis;
}

QLineSeries* VerticalLine(double x, double height, const QString& name) {
    auto* line = new QLineSeries;
    line->setName(name);
    line->append(x, 0);
    line->append(x, height);
    line->setPen(TolerancePen());
    return line;
}

void Attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

// The time axis labels in local time: the UTC clock reading is given as a local one, so that
// the labels show UTC whatever the machine's zone.
qint64 Msecs(const std::string& isoUtc) {
    const QDateTime utc = QDateTime::fromString(QString::fromStdString(isoUtc), Qt::ISODateWithMs).toUTC();
    return QDateTime(utc.date(), utc.time(), Qt::LocalTime).toMSecsSinceEpoch();
}

}  // namespace

long long CountAxisStep(double top) {
    constexpr int kMostTicks = 6;
    for (long long power = 1;; power *= 10)
        for (const long long multiple : {1, 2, 5})
            if (static_cast<double>(multiple * power * kMostTicks) >= top) return multiple * power;
}

bool WriteReadingHistogram(const ReadingSet& set, const std::string& path) {
    const auto [minIt, maxIt] = std::minmax_element(set.readings.begin(), set.readings.end());
    double low = set.readings.empty() ? 0.0 : *minIt;
    double high = set.readings.empty() ? 1.0 : *maxIt;
    if (set.windowLow) low = std::min(low, *set.windowLow);
    if (set.windowHigh) high = std::max(high, *set.windowHigh);
    const double margin = std::max(high - low, 1e-3) * 0.08;
    low -= margin;
    high += margin;
    const double width = (high - low) / kHistogramBins;

    std::vector<int> counts(kHistogramBins, 0);
    for (const double v : set.readings)
        ++counts[static_cast<std::size_t>(std::clamp((v - low) / width, 0.0, kHistogramBins - 1.0))];
    const int tallest = std::max(1, *std::max_element(counts.begin(), counts.end()));

    auto* chart = new QChart;
    // One pass of arg(), so that a model name holding "%2" stays as it is.
    chart->setTitle(QStringLiteral("%1, reference channel %2: %3 readings, %4 outside the window")
                        .arg(QString::fromStdString(set.model).toHtmlEscaped(), QString::number(set.channel),
                             QString::number(set.readings.size()), QString::number(set.outside)));
    auto* x = ValueAxis(QStringLiteral("Reading (V)"), low, high);
    auto* y = ValueAxis(QStringLiteral("Readings"), 0, tallest * 1.15);
    // Ticks spread evenly over the range would fall between whole counts and be labelled wrongly.
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    y->setTickInterval(static_cast<double>(CountAxisStep(tallest * 1.15)));
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    // An area series does not own its outline: the chart does.
    auto* outline = new QLineSeries(chart);
    outline->append(low, 0);
    for (int bin = 0; bin < kHistogramBins; ++bin) {
        outline->append(low + bin * width, counts[static_cast<std::size_t>(bin)]);
        outline->append(low + (bin + 1) * width, counts[static_cast<std::size_t>(bin)]);
    }
    outline->append(high, 0);
    auto* bars = new QAreaSeries(outline);
    bars->setName(QStringLiteral("Readings"));
    bars->setBrush(QColor(60, 110, 180));
    bars->setPen(QPen(QColor(30, 60, 120)));
    Attach(chart, bars, x, y);
    if (set.windowLow)
        Attach(chart, VerticalLine(*set.windowLow, tallest * 1.15, QStringLiteral("Tolerance window")), x, y);
    if (set.windowHigh) {
        auto* line = VerticalLine(*set.windowHigh, tallest * 1.15, QStringLiteral("Tolerance window"));
        Attach(chart, line, x, y);
        if (set.windowLow) chart->legend()->markers(line).front()->setVisible(false);
    }
    return Save(chart, path);
}

std::string TimeAxisFormat(long long spanMs) {
    // Five ticks a quarter of the range apart differ in minutes from ten minutes on.
    constexpr long long kMinutesDiffer = 10 * 60 * 1000;
    return spanMs < kMinutesDiffer ? "hh:mm:ss" : "yyyy-MM-dd hh:mm";
}

bool WriteInterruptTiming(const std::vector<InterruptPoint>& points, const std::string& path) {
    auto* chart = new QChart;
    chart->setTitle(
        QStringLiteral("Interrupt test: measured minus expected time (%1 tests)").arg(points.size()));
    auto* passed = new QScatterSeries;
    passed->setName(QStringLiteral("Passed"));
    passed->setMarkerSize(7);
    passed->setColor(QColor(40, 140, 60));
    auto* failed = new QScatterSeries;
    failed->setName(QStringLiteral("Failed"));
    failed->setMarkerSize(9);
    failed->setColor(QColor(230, 120, 0));
    auto* upper = new QLineSeries;
    upper->setName(QStringLiteral("Time tolerance"));
    upper->setPen(TolerancePen());
    auto* lower = new QLineSeries;
    lower->setPen(TolerancePen());

    double reach = 1;
    qint64 first = 0, last = 0;
    for (const auto& p : points) {
        const qint64 t = Msecs(p.startedUtc);
        first = first ? std::min(first, t) : t;
        last = std::max(last, t);
        (p.passed ? passed : failed)->append(static_cast<double>(t), p.differenceMs);
        upper->append(static_cast<double>(t), p.toleranceMs);
        lower->append(static_cast<double>(t), -p.toleranceMs);
        reach = std::max(
            {reach, std::fabs(static_cast<double>(p.differenceMs)), static_cast<double>(p.toleranceMs)});
    }
    if (last <= first) last = first + 60 * 1000;
    const qint64 pad = (last - first) / 40;
    first -= pad;
    last += pad;

    auto* x = new QDateTimeAxis;
    x->setTitleText(QStringLiteral("Start of the test (UTC)"));
    x->setFormat(QString::fromStdString(TimeAxisFormat(last - first)));
    x->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
    auto* y = ValueAxis(QStringLiteral("Measured minus expected (ms)"), -reach * 1.2, reach * 1.2);
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(upper), static_cast<QAbstractSeries*>(lower),
          static_cast<QAbstractSeries*>(passed), static_cast<QAbstractSeries*>(failed)})
        Attach(chart, series, x, y);
    chart->legend()->markers(lower).front()->setVisible(false);
    return Save(chart, path);
}

bool WriteYieldChart(const std::string& model, const std::vector<YieldDay>& days, const std::string& path) {
    auto* chart = new QChart;
    chart->setTitle(QString::fromStdString(model).toHtmlEscaped() + QStringLiteral(": yield per day"));
    auto* firstPass = new QBarSet(QStringLiteral("First pass"));
    auto* finalPass = new QBarSet(QStringLiteral("Final"));
    firstPass->setColor(QColor(230, 160, 40));
    finalPass->setColor(QColor(40, 140, 60));
    QStringList labels;
    for (const auto& d : days) {
        const double boards = static_cast<double>(std::max<std::int64_t>(d.boards, 1));
        *firstPass << 100.0 * static_cast<double>(d.firstPass) / boards;
        *finalPass << 100.0 * static_cast<double>(d.finalPass) / boards;
        labels << QString::fromStdString(d.day);
    }
    auto* bars = new QBarSeries;
    bars->append(firstPass);
    bars->append(finalPass);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setTitleText(QStringLiteral("Day (UTC)"));
    if (labels.size() > 8) x->setLabelsAngle(-90);
    auto* y = ValueAxis(QStringLiteral("Yield (%)"), 0, 100);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    Attach(chart, bars, x, y);
    return Save(chart, path);
}

}  // namespace vantrel::report
