BUILD := build

.PHONY: all deps build run test bench clean

all: build

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) --parallel 2

run: build
	./$(BUILD)/quorvin

test: build
	cd $(BUILD) && ctest --output-on-failure --parallel 2

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)
