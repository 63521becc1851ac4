# Two entry points for a fresh Debian machine: `make run` and `make test`.
PACKAGES := cmake g++ make libgtest-dev libcminpack-dev libbenchmark-dev
BUILD    := build
ASAN     := build-asan
JOBS     := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build asan run test bench golden clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "missing packages:$$missing (run 'make' as root to install them)"; exit 1; \
	  fi; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DVORAX_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j $(JOBS)

run: build
	cd examples && ../$(BUILD)/vorax fodo.vx

# The test programs run side by side, one per core.
test: build asan
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	cd $(ASAN) && ctest -j $(JOBS) --output-on-failure

# Records the listing of every deck the tests run as its new golden text, after an intended
# change; read the diff before committing it.
golden: build
	rm -f tests/golden/listings/*.txt
	cd $(BUILD) && VORAX_UPDATE_GOLDEN=1 ctest -j $(JOBS) >/dev/null || true

bench: build
	@for b in $(BUILD)/bench_*; do [ -x $$b ] && $$b; done

clean:
	rm -rf $(BUILD) $(ASAN)
