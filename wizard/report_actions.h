// What the report buttons of the points acquisition do: the two report pages of the acquisition,
// dated and with the arm's serial number asked of the board at that moment, in the print preview,
// on a printer, or in a PDF file when the machine has no printer.
#pragma once

#include "session/arm_session.h"
#include "wizard/points_acquisition_dialog.h"

namespace pilvo::wizard {

PointsAcquisitionDialog::ReportActions CalibrationReportActions(ArmSession& session,
                                                                QWidget* parent);

}  // namespace pilvo::wizard
