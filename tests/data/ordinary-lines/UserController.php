<?php

declare(strict_types=1);

namespace App\Http\Controllers;

use App\Models\User;
use App\Repositories\UserRepository;
use Illuminate\Http\JsonResponse;
use Illuminate\Http\Request;

/**
 * Lists, shows and updates users for the admin dashboard.
 */
final class UserController extends Controller {
    private const PER_PAGE = 25;

    public function __construct(
        private readonly UserRepository $users,
    ) {
    }

    public function index(Request $request): JsonResponse {
        $page = (int) $request->query('page', 1);
        $users = $this->users->paginate(self::PER_PAGE, $page);
        foreach ($users as $user) {
            $user->append('avatar_url');
        }
        return response()->json($users);
    }

    public function show(int $id): JsonResponse {
        $user = $this->users->find($id);
        if ($user === null) {
            abort(404, 'User not found');
        }
        // Admins may see the e-mail address as well.
        $data = $user->only(['id', 'name', 'created_at']);
        return response()->json($data);
    }

    public function update(Request $request, int $id): JsonResponse {
        $validated = $request->validate(['name' => 'required|string|max:255']);
        try {
            $user = $this->users->update($id, $validated);
        } catch (ModelNotFoundException $e) {
            throw new NotFoundHttpException('User not found', $e);
        }
        $status = match ($user->role) {
            'admin' => 'elevated',
            default => 'regular',
        };
        echo "Updated {$user->name}\n";
        return response()->json(['status' => $status]);
    }
}

abstract class Job {
    /** @var int */
    private ?User $owner = null;

    abstract protected function handle(Request $request): Response;

    public function run(string $command): void {
        while ($row = $this->queue->pop()) {
            $this->process($row);
        }
        switch ($command) {
            case 'stop':
                return;
        }
        if ($this->owner === null) {
            return;
        } elseif ($this->owner->isAdmin()) {
            throw new InvalidArgumentException('Admins cannot queue jobs');
        } else {
            $double = fn ($x) => $x * 2;
        }
    }
}

$total = array_sum(array_map(fn ($item) => $item->price, $items));
$count += 1;
