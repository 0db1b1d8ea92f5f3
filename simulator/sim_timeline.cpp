#include "simulator/sim_timeline.h"

#include "monitor/plot_view.h"
#include "monitor/sample_history.h"
#include "sim/run_history.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace kt::simulator {

namespace {

using drivemap::ValueRef;

QString NameOf(const ValueRef& ref) {
    return QString::fromStdString(drivemap::Name(ref));
}

} // namespace

SimTimeline::SimTimeline(sim::RunHistory& history, QWidget* parent)
    : QGroupBox(QStringLiteral("Timeline"), parent), m_history(history) {
    auto* grid = new QGridLayout(this);
    m_box = new QComboBox(this);
    m_box->setAccessibleName(QStringLiteral("Value to plot"));
    m_box->setToolTip(QStringLiteral("Choose a value to draw it on the timeline"));
    // Every reading the catalogue has: channels, and bits one by one.
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        if (value.kind == drivemap::Kind::Bits) {
            for (const drivemap::Bit& bit : value.bits)
                m_choices.push_back({&value, ValueRef::kWhole, bit.index});
            continue;
        }
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel)
            m_choices.push_back({&value, value.channels > 0 ? channel : ValueRef::kWhole});
    }
    for (const ValueRef& ref : m_choices) {
        const std::string_view unit = ref.value->unit;
        m_box->addItem(NameOf(ref) + (unit.empty()
                                          ? QString()
                                          : QStringLiteral(" [%1]").arg(QLatin1String(unit))));
    }
    auto* label = new QLabel(QStringLiteral("P&lot"), this);
    label->setBuddy(m_box);
    m_remove = new QPushButton(QStringLiteral("Rem&ove from plot"), this);
    m_remove->setAutoDefault(false);
    m_remove->setAccessibleName(QStringLiteral("Remove from plot"));
    m_remove->setToolTip(QStringLiteral("Takes the value chosen under Plot off the timeline"));
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_box, 0, 1);
    grid->addWidget(m_remove, 0, 2);
    grid->setColumnStretch(3, 1);

    m_plot = new monitor::PlotView(this);
    m_plot->setAccessibleName(QStringLiteral("Timeline"));
    m_plot->setToolTip(QStringLiteral("Click a time to move the run there"));
    m_plot->SetEmptyText(QStringLiteral("Run or Step the program to record its values."));
    m_plot->setMinimumHeight(180);
    grid->addWidget(m_plot, 1, 0, 1, 4);

    connect(m_box, &QComboBox::activated, this, [this] {
        if (const std::optional<ValueRef> ref = Chosen())
            Add(*ref);
    });
    connect(m_box, &QComboBox::currentIndexChanged, this, &SimTimeline::UpdateRemove);
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (const std::optional<ValueRef> ref = Chosen())
            Remove(*ref);
    });
    connect(m_plot, &monitor::PlotView::timeClicked, this, [this](qint64 msecs) {
        emit timeClicked(m_originMs + static_cast<std::uint64_t>(std::max<qint64>(msecs, 0)));
    });

    // What a program drives is what one looks at first.
    for (const drivemap::Bit& bit : drivemap::kOutputBits)
        Add({&drivemap::At(drivemap::Id::Outputs), ValueRef::kWhole, bit.index});
    m_box->setCurrentIndex(
        static_cast<int>(std::ranges::find(m_choices, m_plotted.front()) - m_choices.begin()));
}

SimTimeline::~SimTimeline() = default;

std::optional<ValueRef> SimTimeline::Chosen() const {
    const int index = m_box->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_choices.size()))
        return std::nullopt;
    return m_choices[static_cast<std::size_t>(index)];
}

void SimTimeline::UpdateRemove() {
    const std::optional<ValueRef> ref = Chosen();
    m_remove->setEnabled(ref && std::ranges::find(m_plotted, *ref) != m_plotted.end());
}

bool SimTimeline::Add(const ValueRef& ref) {
    if (ref.value == nullptr || std::ranges::find(m_plotted, ref) != m_plotted.end())
        return false;
    m_plotted.push_back(ref);
    m_samples.push_back(std::make_unique<monitor::SampleHistory>());
    SetTraces();
    Update();
    return true;
}

bool SimTimeline::Remove(const ValueRef& ref) {
    const auto it = std::ranges::find(m_plotted, ref);
    if (it == m_plotted.end())
        return false;
    const auto index = it - m_plotted.begin();
    m_plotted.erase(it);
    // The plot lets go of the history before it goes.
    std::unique_ptr<monitor::SampleHistory> gone = std::move(m_samples[index]);
    m_samples.erase(m_samples.begin() + index);
    SetTraces();
    return true;
}

void SimTimeline::SetTraces() {
    std::vector<monitor::PlotTrace> traces;
    for (std::size_t i = 0; i < m_plotted.size(); ++i) {
        const ValueRef ref = m_plotted[i];
        const bool bit = ref.bit != ValueRef::kWhole;
        traces.push_back({
            .name = NameOf(ref),
            // Bits share one plot of lanes; the rest one plot per unit.
            .unit = bit ? QString() : QString::fromUtf8(drivemap::UnitOrName(*ref.value)),
            .bit = bit,
            .history = m_samples[i].get(),
            .text =
                [ref](double reading) {
                    return QString::fromStdString(drivemap::Format(ref, reading));
                },
            .readingUnit = QLatin1String(ref.value->unit),
        });
    }
    m_plot->SetTraces(std::move(traces));
    UpdateRemove();
}

void SimTimeline::SetLive(bool live) {
    m_live = live;
    if (live)
        m_plot->SetFollowing(true); // a new run is shown whole
    else
        m_plot->SetMarker(std::nullopt);
}

void SimTimeline::Update() {
    if (!m_live)
        return;
    const auto since = [this](std::uint64_t timeMs) {
        return static_cast<qint64>(timeMs) - static_cast<qint64>(m_originMs);
    };
    for (std::size_t i = 0; i < m_plotted.size(); ++i) {
        monitor::SampleHistory& samples = *m_samples[i];
        samples.Clear();
        // Level between changes, upright at each: a step curve, also where
        // the plot would join the points by lines.
        double before = 0;
        bool first = true;
        for (const auto& [timeMs, reading] : m_history.Curve(m_plotted[i])) {
            if (!first && reading != before)
                samples.Append(since(timeMs), before);
            samples.Append(since(timeMs), reading);
            before = reading;
            first = false;
        }
    }
    // The whole recording, with a little room after it so the marker at its
    // latest moment stands clear of the frame; unless the user has zoomed
    // or panned since.
    // A short recording starts at its left edge: no time before it is shown.
    const qint64 earliest = since(m_history.EarliestMs());
    const qint64 last = since(m_history.LatestMs());
    const qint64 span = std::max<qint64>(last - earliest, 1);
    const qint64 shown =
        std::max(span + std::max<qint64>(span / 40, 1), monitor::PlotView::kMinSpanMs);
    const monitor::PlotView::Range range = m_plot->VisibleRange();
    if (m_plot->Following() || (m_view && *m_view == std::pair(range.first, range.last))) {
        m_plot->SetVisibleSpan(shown);
        m_plot->ShowUntil(earliest + shown);
        m_view = std::pair(m_plot->VisibleRange().first, m_plot->VisibleRange().last);
    }
    m_plot->SetMarker(since(m_history.NowMs()));
    m_plot->update();
}

} // namespace kt::simulator
