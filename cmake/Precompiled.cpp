// The one file of the targets that make the precompiled headers.
