# Qt for Windows and libsodium for both architectures, built side by side
# under one make so that they share its job slots (tools/crossbuild.sh's
# make_jobs): one per core in all, each architecture holding one while it
# builds, so that neither starts a compiler per core of its own, and the
# one still building when the other is done takes both.
#
#   LOGS=folder make -j"$(nproc)" -f tools/crossbuilds.mk
#
# Each architecture's output goes to LOGS/i686 and LOGS/x86_64 (LOGS comes
# from the environment: on make's command line it would reach every one of
# Qt's makes as well).
LOGS ?= .

all: i686 x86_64

# "+": the scripts' makes take part in the job slots.
i686 x86_64:
	+tools/winqt.sh $@ >$(LOGS)/$@ 2>&1 && tools/winsodium.sh $@ >>$(LOGS)/$@ 2>&1

.PHONY: all i686 x86_64
