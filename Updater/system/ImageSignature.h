#pragma once

// The checks the Updater makes itself on the Authenticode signature of a PE
// file that the system's trust provider accepted, because a provider may
// check only the signature over the signed attributes (Wine does). Read
// through file (a handle with read access, read from its start), so they
// cover the bytes of that open file:
// - the signed content is an SpcIndirectData for a PE image;
// - its signed attributes name that content's type once, and its
//   messageDigest once, which is the digest of that content by the signer's
//   digest algorithm;
// - the digest it holds is the file's image digest by the Authenticode
//   rules (everything before the certificate table except the CheckSum
//   field and the table's directory entry), by the algorithm it names.
// Returns 0, or one of the kSignature* codes of system/SignatureCodes.h.
long CheckImageSignature(void* file);
