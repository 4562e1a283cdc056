#include "app/sequence_form.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "analysis/zernike_coefficients_file.h"
#include "app/program_state.h"
#include "app/session.h"

namespace caustica {

const int TFormSequence::kMainTerms[5] = {5, 6, 7, 8, 11};

namespace {

QChart* NewChart(const QString& title, const QString& xTitle, const QString& yTitle) {
  auto* chart = new QChart;
  chart->setTitle(title);
  auto* x = new QValueAxis;
  auto* y = new QValueAxis;
  x->setTitleText(xTitle);
  y->setTitleText(yTitle);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  return chart;
}

void Attach(QChart* chart, QAbstractSeries* series) {
  chart->addSeries(series);
  for (QAbstractAxis* axis : chart->axes()) series->attachAxis(axis);
}

// Both axes over the data with a margin; x ticks on whole numbers.
void Fit(QChart* chart, int x0, int x1, double y0, double y1) {
  if (!(y1 > y0)) {
    y0 -= 1.0;
    y1 += 1.0;
  }
  const double margin = 0.08 * (y1 - y0);
  const auto horizontal = chart->axes(Qt::Horizontal), vertical = chart->axes(Qt::Vertical);
  if (!horizontal.isEmpty())
    if (auto* x = qobject_cast<QValueAxis*>(horizontal.front())) {
      x->setRange(x0 - 0.5, x1 + 0.5);
      x->setTickType(QValueAxis::TicksDynamic);
      x->setTickAnchor(x0);
      x->setTickInterval(std::max(1, (x1 - x0 + 9) / 10));
      x->setLabelFormat("%d");
    }
  if (!vertical.isEmpty())
    if (auto* y = qobject_cast<QValueAxis*>(vertical.front())) {
      y->setRange(y0 - margin, y1 + margin);
      y->applyNiceNumbers();
    }
}

QTableWidgetItem* Cell(const QString& text, bool number) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

}  // namespace

TFormSequence::TFormSequence(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle("Sequence results");
  Summary = new QLabel(this);
  Summary->setWordWrap(true);
  Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Table = new QTableWidget(0, 6, this);
  Table->setHorizontalHeaderLabels({"Term", "Name", "Averaged pair", "Frame pairs", "Standard error", ""});
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setStretchLastSection(true);
  ErrorChart = NewChart("Coefficients with their standard errors", "Term", "nm RMS");
  ErrorView = new QChartView(ErrorChart, this);
  ErrorView->setRenderHint(QPainter::Antialiasing);
  FrameChart = NewChart("Main terms, frame pair by frame pair", "Frame pair", "nm RMS");
  FrameView = new QChartView(FrameChart, this);
  FrameView->setRenderHint(QPainter::Antialiasing);
  CloseButton = new QPushButton("Close", this);

  auto* charts = new QSplitter(Qt::Vertical, this);
  charts->addWidget(ErrorView);
  charts->addWidget(FrameView);
  auto* columns = new QSplitter(Qt::Horizontal, this);
  columns->addWidget(Table);
  columns->addWidget(charts);
  columns->setStretchFactor(1, 1);
  Table->setMinimumWidth(560);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Summary);
  layout->addWidget(columns, 1);
  layout->addLayout(buttons);
  resize(1200, 680);

  connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
  connect(&Session(), &TSession::SequenceResultsRequested, this, &TFormSequence::Open);
  connect(&Session(), &TSession::SequenceResultChanged, this, [this] {
    if (isVisible()) Redraw();
  });
}

void TFormSequence::Open() {
  Redraw();
  show();
  raise();
}

void TFormSequence::Redraw() {
  ErrorChart->removeAllSeries();
  FrameChart->removeAllSeries();
  Table->setRowCount(0);
  const std::shared_ptr<const TSequenceResult> result = SequenceResult;
  if (!result) {
    Summary->setText("No sequence has been reconstructed (Calc., \"Reconstruct the sequence\").");
    return;
  }
  QStringList lines;
  for (const std::string& l : SequenceSummary(*result)) lines << QString::fromStdString(l);
  if (result->Cancelled) lines << "Cancelled before every frame pair was reconstructed.";
  lines << "Coefficients in nm RMS (RMS-normalised).";
  Summary->setText(lines.join('\n'));

  // The table: every term; the charts: the terms from astigmatism on that are shown.
  const std::vector<TSequenceTerm> terms = SequenceTerms(*result);
  Table->setRowCount(static_cast<int>(terms.size()));
  auto* means = new QScatterSeries;
  means->setName("Mean of the frame pairs");
  means->setMarkerSize(12);
  auto* averaged = new QScatterSeries;
  averaged->setName("Averaged pair");
  averaged->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  averaged->setMarkerSize(6);
  double low = 0, high = 0;
  int first = 0, last = 0;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const TSequenceTerm& t = terms[i];
    const int row = static_cast<int>(i);
    Table->setItem(row, 0, Cell(QString::number(t.Term), true));
    Table->setItem(row, 1, Cell(QString::fromStdString(ZernikeTermName(t.Term)), false));
    Table->setItem(row, 2, Cell(QString::number(t.Averaged, 'f', 2), true));
    Table->setItem(row, 3, Cell(QString::number(t.Mean, 'f', 2), true));
    Table->setItem(
        row, 4,
        Cell(result->HasErrors() ? QString::fromUtf8("± %1").arg(t.StandardError, 0, 'f', 2) : "", true));
    Table->setItem(row, 5, Cell(!t.Selected ? "[Soustrait]" : t.Agrees ? "" : "differ", false));
    if (t.Term < 5 || !t.Selected) continue;
    means->append(t.Term, t.Mean);
    averaged->append(t.Term, t.Averaged);
    const double e = result->HasErrors() ? t.StandardError : 0.0;
    if (e > 0) {
      auto* bar = new QLineSeries;
      bar->append(t.Term, t.Mean - e);
      bar->append(t.Term, t.Mean + e);
      bar->setPen(QPen(Qt::darkGray, 2));
      Attach(ErrorChart, bar);
    }
    low = std::min({low, t.Mean - e, t.Averaged});
    high = std::max({high, t.Mean + e, t.Averaged});
    first = first == 0 ? t.Term : first;
    last = t.Term;
  }
  Attach(ErrorChart, means);
  Attach(ErrorChart, averaged);
  // The bars are not in the legend: only the two estimates are.
  for (QLegendMarker* marker : ErrorChart->legend()->markers())
    marker->setVisible(marker->series() == means || marker->series() == averaged);
  Fit(ErrorChart, first, last, low, high);

  // Frame pair by frame pair; a pair left out of the mean is drawn hollow.
  low = high = 0;
  for (int term : kMainTerms) {
    if (term > result->Terms) continue;
    auto* line = new QLineSeries;
    line->setName(QString("Z%1 %2").arg(term).arg(QString::fromStdString(ZernikeTermName(term))));
    auto* left = new QScatterSeries;
    left->setMarkerSize(9);
    left->setBrush(Qt::NoBrush);
    for (std::size_t k = 0; k < result->Pairs.size(); ++k) {
      const std::vector<double> c = NormalisedPairCoefficients(*result, result->Pairs[k]);
      if (c.empty()) continue;
      const double v = c[static_cast<std::size_t>(term) - 1];
      line->append(static_cast<double>(k) + 1, v);
      if (result->Pairs[k].Outlier) left->append(static_cast<double>(k) + 1, v);
      low = std::min(low, v);
      high = std::max(high, v);
    }
    Attach(FrameChart, line);
    left->setPen(QPen(line->pen().color(), 2));
    Attach(FrameChart, left);
    for (QLegendMarker* marker : FrameChart->legend()->markers(left)) marker->setVisible(false);
  }
  Fit(FrameChart, 1, std::max<int>(1, static_cast<int>(result->Pairs.size())), low, high);
}

}  // namespace caustica
