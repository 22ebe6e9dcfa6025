#pragma once

#include "common/Handles.h"

#include <cstdint>

// The publisher pin of a certificate: the SHA-256 of the DER encoding of
// its SubjectPublicKeyInfo. False, with digest untouched, when it can't be
// encoded or hashed.
bool GetPublicKeyDigest(const CERT_CONTEXT& certificate, uint8_t (&digest)[32]);
