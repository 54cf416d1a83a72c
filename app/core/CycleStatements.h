#pragma once

#include <QStringList>

// The statements of the job cycle, each as the lines of its text. The spooler runs them; the
// benchmark that stands in for many stations runs the very same text, so that it loads a
// server as the stations do.
namespace cycle {

// The station's queue: parameter :posto.
QStringList SelectQueue();
// A job's history row: :datahora, :id, :titulo, :dados, :palavrachave, :cartao, :previsao,
// :datavalor.
QStringList InsertHistory();
// The job taken last: :id.
QStringList DeleteJob();

} // namespace cycle
