#pragma once

#include "UpdateMembers.h"
#include "UpdateProfile.h"

class QNetworkReply;
struct ProductIdentity;

// The update service client shared by the update dialogs: the check exchange
// and the installer download. A dialog keeps the state (UpdateMembers) and
// supplies its values and reactions (UpdateProfile); each of its slots is one
// call into here.
namespace UpdateClient {

// From the constructor: reads config.ini in the program directory, creates
// `request` and `manager`, posts the check and connects the manager's
// finished(QNetworkReply*) to the owner's UpdateFinished(QNetworkReply*).
void startCheck(const UpdateMembers &members);
// The same with the product identity already read from config.ini, for an
// owner that reads further settings between that and posting the check.
void startCheck(const UpdateMembers &members, const ProductIdentity &identity);

// on_install_clicked(): starts downloading `downloadurl` (an http or https URL
// whose text ends in ".exe") into profile.installerFile, connecting the
// reply's readyRead() to the owner's writeexedata().
void startDownload(const UpdateMembers &members, const UpdateProfile &profile);

// writeexedata(): stores what the download reply has available.
void storeChunk(const UpdateMembers &members, const UpdateProfile &profile);

// UpdateFinished(QNetworkReply*): classifies the finished reply, runs the
// profile's reaction (for a completed download: completion display, elevated
// start, end display) and releases the reply with deleteLater().
void replyFinished(const UpdateMembers &members, QNetworkReply *finished, const UpdateProfile &profile);

} // namespace UpdateClient
