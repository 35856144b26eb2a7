#include "run/metrics_file.h"

#include <cstdio>

#include "base/log.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/sha256.h"
#include "base/text.h"
#include "platform/core/text_encoding.h"
#include "platform/files/replace_file.h"

namespace veltrum {

namespace {

// The file is UTF-8 on every platform; a text of the run is in the
// platform's encoding.
std::string asUtf8(const std::string& text) {
  return platformTextEncoding() == TextEncoding::utf8 ? text : cp1252ToUtf8(text);
}

struct Metric {
  const char* name;
  const char* help;
};

// The same HELP and TYPE in every file: the exporter merges the files of
// all jobs into one family per name and refuses differing ones.
constexpr Metric kMetrics[] = {
    {"veltrum_files_checked", "Dateien, deren Datum gelesen wurde"},
    {"veltrum_files_too_old", "Dateien, die älter als die Prüfzeit /t sind"},
    {"veltrum_oldest_file_age_seconds", "Alter der ältesten Datei in Sekunden"},
    {"veltrum_actions_failed", "Aktionen, die mit einer ERR-Zeile endeten"},
    {"veltrum_run_errors", "ERR-Zeilen des Laufs"},
    {"veltrum_last_run_timestamp_seconds", "Ende des Laufs in Sekunden seit 1970 (UTC)"},
    {"veltrum_run_duration_seconds", "Dauer des Laufs in Sekunden"},
};

std::string labels(const MetricsJob& job) {
  std::string text = "{spec=\"" + labelValue(job.fileSpec) + "\",action=\"" +
                     labelValue(job.action) + "\",minutes=\"" + labelValue(job.minutes) + "\"";
  // Two jobs that differ only in the date they compare write two files;
  // with equal labels the exporter would refuse the second series.
  if (job.dateMode != "create") text += ",date=\"" + labelValue(job.dateMode) + "\"";
  return text + "}";
}

std::string seconds(int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(milliseconds / 1000),
                static_cast<long long>(milliseconds % 1000));
  return text;
}

}  // namespace

std::string labelValue(const std::string& text) {
  const std::string shown = asUtf8(shownText(text));
  std::string escaped;
  for (char c : shown) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return escaped;
}

std::string metricsFileName(const MetricsJob& job) {
  std::string input = asUtf8(decodedText(job.fileSpec));
  for (const std::string* part : {&job.action, &job.minutes, &job.dateMode}) {
    input += '\0';
    input += asUtf8(decodedText(*part));
  }
  return "veltrum_" + sha256Hex(input).substr(0, 16) + ".prom";
}

std::string metricsText(const MetricsJob& job, const RunTally& tally, const MetricsRun& run) {
  const std::string values[] = {
      std::to_string(tally.filesChecked),
      std::to_string(tally.filesTooOld),
      // NaN, not 0: no file is no age, and a rule comparing ages stays quiet.
      tally.anyAge ? std::to_string(tally.oldest.ageSeconds) : std::string("NaN"),
      std::to_string(tally.actionsFailed),
      std::to_string(run.runErrors),
      std::to_string(run.finishedAt),
      seconds(run.durationMs),
  };
  const std::string labelText = labels(job);
  std::string text;
  for (size_t i = 0; i < std::size(kMetrics); ++i) {
    text += std::string("# HELP ") + kMetrics[i].name + " " + asUtf8(nativeText(kMetrics[i].help)) +
            "\n# TYPE " + kMetrics[i].name + " gauge\n" + kMetrics[i].name + labelText + " " +
            values[i] + "\n";
  }
  return text;
}

void writeMetricsFile(const MetricsRun& run) {
  const RunSettings& settings = runSettings();
  const MetricsJob job{settings.filePattern, settings.action, settings.minutes, settings.dateMode};
  const std::string name = metricsFileName(job);
  if (!replaceFileWhole(settings.metricsDir, name, metricsText(job, runTally(), run))) {
    writeLog(ERR, "Metrikdatei konnte nicht geschrieben werden, MetricsDir:" +
                      shownText(settings.metricsDir) + " Datei:" + name);
  }
}

}  // namespace veltrum
