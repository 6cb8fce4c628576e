// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The question the window asks about a certificate refusal (servertrust.h); its default answer
// is no.
#include "mail/servertrust.h"

// What is wrong, the certificate's subject, issuer, validity and fingerprint; when the server
// showed another certificate before, that it has changed since the last check, with both
// fingerprints.
QString certificateQuestion(const CertificateRefusal &refusal);
