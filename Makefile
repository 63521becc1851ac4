# Two entry points for a fresh Debian machine: `make run` and `make test`.
PACKAGES := cmake g++ make libgtest-dev libcminpack-dev libbenchmark-dev libexpat1-dev
# The deck fuzzer: clang and its libFuzzer runtime (libclang_rt.fuzzer).
FUZZ_PACKAGES := clang libclang-rt-dev
# The private Slurm cluster of `make cluster-test`: the scheduler and its authentication.
CLUSTER_PACKAGES := slurm-wlm munge
BUILD    := build
ASAN     := build-asan
FUZZ     := build-fuzz
SECONDS  ?= 60
JOBS     := $(shell nproc 2>/dev/null || echo 2)
# Where `make install` puts the programs (PREFIX/bin) and the manual (PREFIX/share/doc/vorax).
PREFIX   ?= /usr/local

.PHONY: all deps program build asan run test install cluster-test bench golden fuzz clean

all: build

# Installs the Debian packages named in $(1) that are missing.
define install_missing
@missing=""; \
	for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "missing packages:$$missing (run 'make' as root to install them)"; exit 1; \
	  fi; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

# The programs alone: the first `make run` on a fresh clone does not wait for the tests.
program: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target vorax vorax-collect vorax-import

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DVORAX_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j $(JOBS)

# The example's tables go to examples/fodo-tables; its plot is the one the README shows.
run: program
	mkdir -p examples/fodo-tables docs/fodo
	cd examples && ../$(BUILD)/vorax fodo.vx --tables fodo-tables --plots ../docs/fodo

# The test programs run side by side, one per core.
test: build asan
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	cd $(ASAN) && ctest -j $(JOBS) --output-on-failure

# The three programs, the manual, the README and the example decks under PREFIX, for example a
# prefix that every node of a cluster sees (make install PREFIX=/shared/vorax).
DOCDIR = $(DESTDIR)$(PREFIX)/share/doc/vorax
install: program
	install -d $(DESTDIR)$(PREFIX)/bin $(DOCDIR)/examples
	install -m 755 $(BUILD)/vorax $(BUILD)/vorax-import $(BUILD)/vorax-collect $(DESTDIR)$(PREFIX)/bin/
	install -m 644 README.md $(DOCDIR)/
	cp -R docs $(DOCDIR)/
	install -m 644 examples/*.vx examples/study.sbatch $(DOCDIR)/examples/

# A four-task job array on a private single-node Slurm cluster started for the test (as root:
# its daemons, configuration, state and logs live in a temporary directory and are stopped at
# the end), its runs collected and compared with the same runs started alone.
cluster-test: program
	$(call install_missing,$(CLUSTER_PACKAGES))
	tests/cluster/run_cluster_test.sh $(BUILD)

# Records the listing of every deck the tests run as its new golden text, after an intended
# change; read the diff before committing it.
golden: build
	rm -f tests/golden/listings/*.txt
	cd $(BUILD) && VORAX_UPDATE_GOLDEN=1 ctest -j $(JOBS) >/dev/null || true

# Fuzzes whole runs for SECONDS seconds (make fuzz SECONDS=600). The seeds are every deck the
# tests run (the harness writes them where VORAX_FUZZ_CORPUS points) and the examples; what
# the fuzzer adds is kept in $(FUZZ)/corpus for the next run. A crash, a sanitizer report or
# a difference between two runs of one input stops the fuzzer with the input written to
# $(FUZZ)/artifacts. Inputs are held to 4 kB, and one that runs longer than 10 s is written
# there as timeout-* and fuzzing goes on: a small deck may legitimately ask for long
# computations (many magnets of huge phase, long fits), so each needs a look, not a stop.
# FUZZ_WORKERS sets the number of fuzzing processes (1).
FUZZ_WORKERS ?= 1
fuzz: build
	$(call install_missing,$(FUZZ_PACKAGES))
	cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORAX_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)
	rm -rf $(FUZZ)/seeds
	mkdir -p $(FUZZ)/seeds $(FUZZ)/corpus $(FUZZ)/artifacts
	cd $(BUILD) && VORAX_FUZZ_CORPUS=$(CURDIR)/$(FUZZ)/seeds ctest -j $(JOBS) >/dev/null || \
	  echo "some tests failed; their decks are seeds all the same"
	cp examples/*.vx $(FUZZ)/seeds/
	nice $(FUZZ)/vorax_fuzz -dict=fuzz/deck.dict -max_total_time=$(SECONDS) -max_len=4096 \
	  -timeout=10 -fork=$(FUZZ_WORKERS) -ignore_timeouts=1 -artifact_prefix=$(FUZZ)/artifacts/ \
	  $(FUZZ)/corpus $(FUZZ)/seeds
	@ls $(FUZZ)/artifacts | sed 's|^|found: $(FUZZ)/artifacts/|'

bench: build
	@for b in $(BUILD)/bench_*; do [ -x $$b ] && $$b; done

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
